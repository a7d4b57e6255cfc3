#pragma once
// The command lines the installed Windows archivers are started with.

#include <string>
#include <string_view>

namespace kivrel {

enum class ArchiverShape {
    WinRar,    // WinRAR: x -o+ -y -IBCK "archive" *.* "destination"
    SevenZip,  // 7-Zip and HaoZip:  x "archive" -aoa -y "-odestination"
};

// The argument text for one archiver: unpack everything into the destination folder,
// overwriting without asking.
[[nodiscard]] std::wstring ArchiverArguments(ArchiverShape shape, std::wstring_view archivePath,
                                             std::wstring_view destinationFolder);
// The whole command line: the quoted executable, a blank, the argument text.
[[nodiscard]] std::wstring ArchiverCommandLine(std::wstring_view executable,
                                               std::wstring_view arguments);

}  // namespace kivrel
