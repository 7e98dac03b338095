#pragma once
// One directory item: a stored file or folder. On disk it is 512 bytes, little-endian:
//     0  int32   FirstMapPageNo   first page-map page, -1 while the file has no pages / folders
//     4  int64   Size
//    12  int64   CreationTime     file times: 100 ns units since 1601-01-01 UTC
//    20  int64   LastWriteTime
//    28  int64   LastAccessTime
//    36  uint32  Attributes       file attribute bits (16 = folder)
//    40  int32   Parent           item number of the containing folder, -1 for the root
//    44  4       reserved
//    48  172     password record of the file's own password, zero when none
//   220  byte    folder flag
//   221  byte    deleted flag (the slot may be reused)
//   222  byte    password flag (the password record is in use)
//   223  byte    reserved
//   224  260     name: code page 936, zero-terminated, at most 259 bytes
//   484  28      reserved
// Reserved bytes are kept so that an item read and written back is unchanged.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct TCFSDirItem {
  static constexpr std::size_t kSize = 512;
  static constexpr std::size_t kPasswordRecOffset = 48;
  static constexpr std::size_t kPasswordRecSize = 172;
  static constexpr std::size_t kNameOffset = 224;
  static constexpr std::size_t kNameField = 260;
  static constexpr std::size_t kMaxNameLength = 259;
  static constexpr std::uint32_t kFolderAttribute = 16;

  std::int32_t FirstMapPageNo = -1;
  std::int64_t Size = 0;
  std::int64_t CreationTime = 0;
  std::int64_t LastWriteTime = 0;
  std::int64_t LastAccessTime = 0;
  std::uint32_t Attributes = 0;
  std::int32_t Parent = -1;
  std::array<std::uint8_t, kPasswordRecSize> PasswordRec{};
  bool IsFolder = false;
  bool IsDeleted = false;
  bool HasPassword = false;
  std::string Name;

  std::uint32_t Reserved44 = 0;
  std::uint8_t Reserved223 = 0;
  std::array<std::uint8_t, 28> Reserved484{};

  // Reads 512 bytes. Always fills `item` (a name without terminator is cut to 259 bytes); returns
  // false, with a description in `problem`, when a field is impossible: unterminated name, a
  // live item whose name is not a plain name (IsPlainItemName), parent or first map page below
  // -1, negative size.
  static bool Parse(const std::uint8_t* bytes, TCFSDirItem& item, std::string* problem = nullptr);
  // Writes 512 bytes; the name is cut with CutItemName.
  void Serialize(std::uint8_t* bytes) const;

  friend bool operator==(const TCFSDirItem&, const TCFSDirItem&) = default;
};

// True for a non-empty name that is not "." or ".." and holds no backslash or "/" (trail bytes of
// two-byte characters do not count): a name that cannot lead out of its folder.
bool IsPlainItemName(std::string_view name);

// A name as the directory can hold it: at most 259 bytes, never ending in half of a two-byte
// character.
std::string CutItemName(std::string_view name);
