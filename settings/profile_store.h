#pragma once
// The per-user profile store: string entries in sections, kept as an INI file in the user's
// configuration folder (settings.ini), shared by the window and the command-line loader.
//   GetString  the entry, or `fallback` when the file, section or entry is absent.
//   SetString  writes the entry, keeping every other line; false when the file cannot be
//              written (the folder is created when missing).

#include <string>

namespace velmar::settings {

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kBaudRateEntry = "_combo_baudrate";
inline constexpr const char* kPortEntry = "_combo_comm_port";
inline constexpr const char* kDefaultBaudRate = "115200";
inline constexpr const char* kDefaultPort = "COM1";

class ProfileStore {
 public:
  // The store in the user's configuration folder.
  ProfileStore();
  explicit ProfileStore(std::string path) : m_path(std::move(path)) {}

  std::string GetString(const std::string& section, const std::string& entry,
                        const std::string& fallback) const;
  bool SetString(const std::string& section, const std::string& entry, const std::string& value);
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace velmar::settings
