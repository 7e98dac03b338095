#pragma once
// Comparing a folder on disk with what the fake game generator wrote: contents, the read-only
// and hidden bits and the 2-second last-write times.
#include <string>
#include <vector>

#include "tests/fixtures/FakeGame.h"

// Contents hash of a disk file (FNV-1a 64, as the manifest has it); false when unreadable.
bool HashOf(const std::string& path, std::uint64_t& hash);

// The manifest entries whose path starts with one of `prefixes` (case-insensitive ASCII).
std::vector<fixtures::ManifestEntry> EntriesUnder(const fixtures::FakeGame& game,
                                                  const std::vector<std::string>& prefixes);

// Every entry exists below `dir` (ending in "\") as it was generated; the differences, one per
// line, or "" when there are none. Paths in `skip` are not compared.
std::string CompareWithManifest(const std::string& dir, const std::vector<fixtures::ManifestEntry>& entries,
                                const std::vector<std::string>& skip = {});

// What a packing run with every row left ticked stores: the listed accounts and add-ons with
// everything below them.
std::vector<fixtures::ManifestEntry> PackedEntries(const fixtures::FakeGame& game);
