#include "tk/tk_trace.h"

#include "tk/tk_text.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

tk_log::tk_log() = default;

tk_log::tk_log(options opts) : options_(opts) {}

tk_log::~tk_log() = default;

void tk_log::set_logfile(const std::string& name) {
    TK_TRACE(2, "tk_convertor::set_logfile(%s)", name.c_str());
    if (name.empty()) {
        TK_TRACE(1, "Filename is empty");
        return;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path(name);
    if (fs::is_directory(path, ec))
        throw tk_exception("Logfile name specifies an existing path.", tk_exception::stop_run);
    if (fs::exists(path, ec)) {
        if (::access(name.c_str(), R_OK | W_OK) != 0)
            throw tk_exception("Logfile name specifies an existing read-only file.",
                               tk_exception::stop_run);
    } else {
        fs::path folder = fs::absolute(path, ec).parent_path();
        if (ec || !fs::is_directory(folder, ec))
            throw tk_exception(
                "Logfile path does not exist.\nPlease verify the correct path was given.",
                tk_exception::stop_run);
    }
    std::lock_guard lock(mutex_);
    file_name_ = name;
    enabled_ = true;
    truncated_ = false;
}

void tk_log::trace(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(level, format, args);
    va_end(args);
}

void tk_log::write(int32_t level, const char* format, va_list args) {
    if (!enabled_ || level < options_.threshold)
        return;
    char buffer[10240];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        write_line(std::string_view(buffer, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, args);
    big.pop_back();
    write_line(big);
}

void tk_log::write_line(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!enabled_)
        return;
    // The first line of the process empties the file; every line then opens, appends and
    // closes, so that a crash loses nothing that was traced before it.
    if (!truncated_) {
        if (FILE* f = std::fopen(file_name_.c_str(), "wb"))
            std::fclose(f);
        truncated_ = true;
    }
    FILE* f = std::fopen(file_name_.c_str(), "ab");
    if (!f)
        return;
    if (options_.time_stamps) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::fprintf(f, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
    }
    std::fwrite(text.data(), 1, text.size(), f);
    if (options_.crlf)
        std::fwrite("\r\n", 1, 2, f);
    std::fclose(f);
}

std::string tk_trace_text(std::u16string_view text) {
    return tk_to_utf8_lossy(text);
}
