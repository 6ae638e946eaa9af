#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tabrix_test {

std::filesystem::path fixtures_dir() {
    std::filesystem::path dir = std::filesystem::path(TABRIX_SHARED_DIR) / "fixtures";
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        return {};
    return std::filesystem::weakly_canonical(dir, ec);
}

scratch_dir::scratch_dir() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("tabrix-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

tk_continue_answer recording_reporter::ask_continue(const std::string& text) {
    log_.questions.push_back(text);
    if (log_.answers.empty())
        return {};
    tk_continue_answer answer = log_.answers.front();
    log_.answers.pop_front();
    return answer;
}

} // namespace tabrix_test
