#include "platform/ShellLog.h"

namespace platform {

std::string ShellLogLine(const std::string& verb, const std::string& file, const std::string& parameters,
                         const std::string& directory, int showCommand, bool owned) {
  return verb + '\t' + file + '\t' + parameters + '\t' + directory + '\t' + std::to_string(showCommand) + '\t' +
         (owned ? "owner" : "") + '\n';
}

}  // namespace platform
