#include "veltrano/core/replace_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace veltrano::core {

namespace fs = std::filesystem;

bool replace_file(const std::string& path, std::string_view content, std::string& why) {
    const fs::path target = fs::u8path(path);
    // In the same folder, so that the rename does not cross file systems; a
    // name of its own, so that two runs writing one file do not share it.
    std::random_device random;
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", static_cast<unsigned>(random()),
                  static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::path temporary = target;
    temporary += suffix;

    errno = 0;
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) {
        why = errno != 0 ? std::strerror(errno) : "无法创建文件";
        return false;
    }
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    std::error_code ignored;
    if (!file) {
        why = errno != 0 ? std::strerror(errno) : "写入失败";
        fs::remove(temporary, ignored);
        return false;
    }
    std::error_code renamed;
    fs::rename(temporary, target, renamed);
    if (renamed) {
        why = renamed.message();
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

bool read_file(const std::string& path, std::size_t most_bytes, std::string& content, std::string& why) {
    const fs::path source = fs::u8path(path);
    std::error_code error;
    if (fs::is_directory(source, error)) {
        why = "这是一个文件夹";
        return false;
    }
    errno = 0;
    std::ifstream file(source, std::ios::binary);
    if (!file) {
        why = errno != 0 ? std::strerror(errno) : "无法打开文件";
        return false;
    }
    const std::uintmax_t size = fs::file_size(source, error);
    if (!error && size > most_bytes) {
        why = "文件太大（" + std::to_string(size) + " 字节，最多 " + std::to_string(most_bytes) + " 字节）";
        return false;
    }
    content.clear();
    char buffer[1 << 16];
    // A pipe or a device has no size: the limit holds while reading too.
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (content.size() > most_bytes) {
            why = "文件太大（超过 " + std::to_string(most_bytes) + " 字节）";
            return false;
        }
    }
    if (file.bad()) {
        why = errno != 0 ? std::strerror(errno) : "读取失败";
        return false;
    }
    return true;
}

}  // namespace veltrano::core
