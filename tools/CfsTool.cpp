#include "tools/CfsTool.h"

#include <exception>

#include "platform/Exception.h"
#include "platform/Threads.h"
#include "tools/CfsToolCommands.h"

const char* const kCfsToolUsageText =
    "Usage: cfstool <command> <arguments> [options]\n"
    "\n"
    "  info <file> [--password P]\n"
    "      wrapper header, page geometry, counters, encryption, part files, base offset\n"
    "  list <file> [--password P]\n"
    "      every stored file and folder with attributes, time, size and compression method\n"
    "  extract <file> <folder> [--password P]\n"
    "      writes every stored file and folder into <folder> (existing files are replaced)\n"
    "  check <file> [--password P]\n"
    "      reads every block of every file and every page; names what is damaged\n"
    "  create <output> <folder or file>... [--stub FILE] [--password P] [--method N]\n"
    "         [--part-size N] [--dest FOLDER]\n"
    "      a container holding the folders (each as a folder of its name) and files, in the\n"
    "      root or in --dest; with --stub a restore package: the stub program followed by the\n"
    "      container. --method 0..9 (default 9, bzip2), --part-size in bytes (decimal or 0x..)\n"
    "  pack <game folder> --stub FILE [--skip NAME,...] [--password P] [--out FOLDER]\n"
    "      the backup tool's packing run without its windows: every account and add-on of the\n"
    "      game except those named by --skip, into the dated zip in --out (default: the\n"
    "      current folder). FILE is loader.bin or the backup tool itself\n"
    "  restore <package> <game folder> [--password P] [--overwrite ask|all|none]\n"
    "      the restore program's work without its window; existing files are asked about\n"
    "      on the terminal (ask, the default), all replaced or none replaced\n"
    "\n"
    "Every command takes --threads N (1..64; default: ZELK_THREADS, else the processor count).\n"
    "<file> is a container or a program with a container appended (a restore package).\n"
    "Exit codes: 0 success, 1 failure or damage found, 2 bad command line.\n";

int CfsToolUsageError(const CfsToolIO& io, const std::string& message) {
  io.Err("cfstool: " + message + "\n\n" + kCfsToolUsageText);
  return kCfsToolUsage;
}

bool ParseMethodOption(const CfsToolArgs& args, std::uint8_t fallback, std::uint8_t& method) {
  method = fallback;
  const auto text = args.Option("method");
  if (!text) return true;
  std::int64_t v = 0;
  if (!ParseInt64(*text, v) || v > 9) return false;
  method = static_cast<std::uint8_t>(v);
  return true;
}

int RunCfsTool(const std::vector<std::string>& args, const CfsToolIO& io) {
  struct Command {
    const char* name;
    int (*run)(const CfsToolArgs&, const CfsToolIO&);
    std::vector<std::string> options;
  };
  static const Command kCommands[] = {
      {"info", CfsToolInfo, {"password"}},
      {"list", CfsToolList, {"password"}},
      {"extract", CfsToolExtract, {"password"}},
      {"check", CfsToolCheck, {"password"}},
      {"create", CfsToolCreate, {"stub", "password", "method", "part-size", "dest"}},
      {"pack", CfsToolPack, {"stub", "skip", "password", "out"}},
      {"restore", CfsToolRestore, {"password", "overwrite"}},
  };
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? io.err : io.out) << kCfsToolUsageText;
    return args.empty() ? kCfsToolUsage : kCfsToolOk;
  }
  for (const Command& c : kCommands) {
    if (args[0] != c.name) continue;
    CfsToolArgs parsed;
    std::string error;
    std::vector<std::string> options = c.options;
    options.push_back("threads");
    if (!ParseCfsToolArgs(args, options, parsed, error)) return CfsToolUsageError(io, error);
    if (const auto threads = parsed.Option("threads")) {
      parsed.threads = platform::ParseThreadCount(threads->c_str());
      if (parsed.threads == 0) return CfsToolUsageError(io, "--threads takes a number from 1 to 64");
    }
    try {
      return c.run(parsed, io);
    } catch (const Exception& e) {
      io.Err("cfstool: " + e.Message() + "\n");
    } catch (const std::exception& e) {
      io.Err(std::string("cfstool: ") + e.what() + "\n");
    }
    return kCfsToolFailed;
  }
  return CfsToolUsageError(io, "unknown command " + args[0]);
}

int RunCfsTool(const std::vector<platform::CommandLineArgument>& args, bool currentDirExact, const CfsToolIO& io) {
  const std::string refusal = RefuseInexactArguments(args, currentDirExact);
  if (!refusal.empty()) return CfsToolUsageError(io, refusal);
  std::vector<std::string> texts;
  for (const platform::CommandLineArgument& a : args) texts.push_back(a.text);
  return RunCfsTool(texts, io);
}
