#pragma once
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/fits_details.h"
#include "files/settings.h"

namespace qlm {

class AtomicFile;

// How reading one field of the settings file ended: go on, the file ended early, the value was
// invalid (the file is then rewritten from the values held), or an older, shorter layout ended.
enum class SettingsRead { Go, Short, Invalid, OlderFile };

// Reads the record's bytes from an open file; every read must return its full size. A byte handed back
// with unread() is read again first.
class SettingsReader {
 public:
  explicit SettingsReader(std::FILE* f) : f_(f) {}
  bool bytes(char* out, std::size_t n);
  bool letter(char& c) { return bytes(&c, 1); }
  bool int16(int& v);   // little-endian, signed
  bool uint16(int& v);  // little-endian, unsigned
  bool real(double& d);
  void unread(char c) { pending_ = static_cast<unsigned char>(c); }

 private:
  std::FILE* f_;
  int pending_ = -1;
};

// Writes the record's bytes through an atomic file; after the first short write nothing more is
// written and ok() stays false.
class SettingsWriter {
 public:
  explicit SettingsWriter(AtomicFile& f) : f_(f) {}
  bool ok() const { return ok_; }
  void bytes(const char* p, std::size_t n);
  void letter(char c) { bytes(&c, 1); }
  void int16(int v);  // the low 16 bits, little-endian
  void real(double d);

 private:
  AtomicFile& f_;
  bool ok_ = true;
};

// One stored field of the settings file: its name (as the command-line tool shows it), how its bytes
// are read and written, and its value as text for showing and setting.
struct SettingsField {
  std::string name;  // snake_case
  std::function<SettingsRead(SettingsReader&, Settings&, FitsDetails&)> read;
  std::function<void(SettingsWriter&, const Settings&, const FitsDetails&)> write;
  std::function<std::string(const Settings&, const FitsDetails&)> get;
  // Stores `text` as the new value; false when it is not a value of the field.
  std::function<bool(const std::string& text, Settings&, FitsDetails&)> set;
  std::string old_name = {};  // the camelCase name earlier versions showed, or empty
};

// Every stored field in file order: 1,402 bytes in all. Reading, writing and the command-line tool's
// settings verb all walk this one table.
const std::vector<SettingsField>& settingsFields();
// The field of a name, or of the old name it had; nothing for an unknown name.
const SettingsField* findSettingsField(std::string_view name);

}  // namespace qlm
