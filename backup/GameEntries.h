#pragma once
// The accounts and add-ons of a game directory that can be packed, as the selection window lists
// them: entries of "userdata" (files and folders) and folders of "interface", in the platform's
// listing order. Names starting with "." (".", "..", hidden dot-entries) are never offered.
#include <string>
#include <vector>

struct TGameEntry {
  std::string name;  // code page 936
  bool folder = false;
};

// `gamePath` ends in "\"; an unreadable folder gives an empty list.
std::vector<TGameEntry> ListAccountEntries(const std::string& gamePath);
std::vector<std::string> ListAddonFolders(const std::string& gamePath);
