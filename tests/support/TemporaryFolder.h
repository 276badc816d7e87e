#pragma once

#include <string>

namespace support {

// A fresh, empty folder under the system's temporary directory (TMPDIR, else /tmp), made
// with mkdtemp and removed with everything in it when the object goes. Tests that write
// files write them here, never into the source tree.
class TemporaryFolder
{
public:
    TemporaryFolder();
    ~TemporaryFolder();

    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The folder's path, without a trailing "/".
    const std::string& path() const { return mPath; }
    // path() + "/" + name.
    std::string file(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// The whole content of a file, or an empty string when it can't be read.
std::string readFile(const std::string& path);
// Creates or replaces a file with the given content; false when it can't be written.
bool writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

} // namespace support
