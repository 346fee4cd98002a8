#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane {

// A fresh folder under the system's temporary directory, removed with
// everything in it when the test ends. Paths are UTF-16 and folder() ends in
// the platform's separator, as settingsFolder() does.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::u16string& folder() const { return folder_; }
    std::u16string path(std::u16string_view name) const;
    // The path of a folder in this one, with its trailing separator.
    std::u16string subfolder(std::u16string_view name) const;

    void writeBytes(std::u16string_view name, std::string_view bytes) const;
    std::string readBytes(std::u16string_view name) const;
    void makeFolder(std::u16string_view name) const;
    bool exists(std::u16string_view name) const;

private:
    std::filesystem::path root_;
    std::u16string folder_;
};

}  // namespace corvane
