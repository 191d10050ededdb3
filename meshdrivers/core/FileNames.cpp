#include "core/FileNames.h"

namespace ov {

std::string numberedFileName(std::string_view base, std::string_view extension, size_t number) {
    std::string name(base);
    if (number > 1) {
        name += '-';
        name += std::to_string(number);
    }
    name += extension;
    return name;
}

std::string fileNameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

std::string FileNameSet::give(std::string_view base, std::string_view extension) {
    for (size_t number = 1;; ++number) {
        std::string name = numberedFileName(base, extension, number);
        if (mKeys.insert(fileNameKey(name)).second) {
            return name;
        }
    }
}

}  // namespace ov
