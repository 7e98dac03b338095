#pragma once
// The commands of cfstool; each returns the exit code.
#include <string>

#include "tools/CfsTool.h"
#include "tools/CfsToolArgs.h"

int CfsToolInfo(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolList(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolCreate(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolExtract(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolCheck(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolPack(const CfsToolArgs& args, const CfsToolIO& io);
int CfsToolRestore(const CfsToolArgs& args, const CfsToolIO& io);

// Prints the message and the usage text to the error stream; returns kCfsToolUsage.
int CfsToolUsageError(const CfsToolIO& io, const std::string& message);
// The compression method option: 0..9, else false.
bool ParseMethodOption(const CfsToolArgs& args, std::uint8_t fallback, std::uint8_t& method);
