// The settings of the previous run, kept between runs of the program.
//
// A key such as "Software\Quorvane\Tabrix" is kept as a human-readable file named after it,
// $XDG_CONFIG_HOME/Quorvane/Tabrix.conf ($XDG_CONFIG_HOME defaults to ~/.config), holding
// named DWORD and string values. The file may hold a password: it is written with mode 0600,
// atomically (a temporary file in the same folder, synced, then renamed over the old one),
// so a crash leaves either the old or the new settings. A missing or damaged file reads as
// empty (every value keeps its default); nothing here stops the program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <variant>

class tk_reg_key {
public:
    tk_reg_key() = default;
    // Writes pending changes (failures only traced; call close() to learn of them).
    ~tk_reg_key();

    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Opens (or creates, on the first write) the store of `key`. False when there is no
    // place for settings (neither $XDG_CONFIG_HOME nor $HOME).
    bool open(std::string_view key);
    // Opens the store kept in `file`.
    bool open_file(const std::filesystem::path& file);
    bool is_open() const noexcept { return !file_.empty(); }

    // False when the value is missing or of the other type; `value` is then unchanged.
    bool get_value(std::string_view name, uint32_t& value) const;
    bool get_value(std::u16string_view name, std::u16string& value) const;

    // Changes are kept in memory until close() writes them.
    bool set_value(std::string_view name, uint32_t value);
    bool set_value(std::u16string_view name, std::u16string_view value);

    // Writes pending changes and closes. False when they could not be written.
    bool close();

    const std::filesystem::path& file() const noexcept { return file_; }
    // Where the store of `key` lives; empty when there is no place for settings.
    static std::filesystem::path file_for_key(std::string_view key);

private:
    using value = std::variant<uint32_t, std::string>; // strings as UTF-8

    void load();
    bool save() const;

    std::filesystem::path file_;
    std::string key_;
    std::map<std::string, value> values_;
    bool dirty_ = false;
};
