// Helpers shared by the tests: temporary directories, file contents and
// capture of what a call prints.
#ifndef MIDICOMPOSE_TEST_SUPPORT_H
#define MIDICOMPOSE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "output_capture.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the directory, sorted.
    std::vector<std::string> Entries() const;

private:
    std::string path_;
};

bool FileExists(const std::string& path);
// Names of the entries in a directory, sorted.
std::vector<std::string> DirectoryEntries(const std::string& path);
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes HexBytes(const std::string& hex);  // "4D 54 68 64" -> bytes
// Switches LC_ALL to a locale whose decimal separator is a comma, compiling
// one into a temporary directory when the system has none. False when no such
// locale can be had.
bool UseCommaLocale(const TempDir& scratch);

// Makes a forked child the unused user and group 65534, with no other
// groups; false when it cannot (the tests that need it run as root).
bool BecomeUnprivileged();

// Ends a forked child with `code`, first writing its gcov counts in a
// coverage build (a child's _exit would drop them) with its file size
// limit lifted so the counts fit.
[[noreturn]] void ExitChild(int code);

// UTF-8 to UTF-16, for building the library's arguments.
std::u16string Utf16(const std::string& utf8);

// Names parameterised cases after their description: "a zero-length note"
// becomes "AZeroLengthNote". Each case type provides Describe(const Case&).
struct NamedAfterDescription {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        std::string name;
        bool upper = true;
        for (const char c : Describe(info.param)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
                upper = false;
            } else {
                upper = true;
            }
        }
        return name + "_" + std::to_string(info.index);
    }
};

}  // namespace testing_support

#endif
