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

// The archive named in argument text ArchiverArguments wrote (its first quoted part); empty
// when there is none.
[[nodiscard]] std::wstring ArchivePathFromArguments(std::wstring_view arguments);

// The archiver's technical listing of an archive, as a command line for the program that
// lists it: 7-Zip and HaoZip list with their own console program (`l -slt`); WinRAR's window
// program lists nothing, so its folder's console program (Rar.exe) lists (`lt`), never asking
// for a password (`-p-`).
[[nodiscard]] std::wstring ListingArguments(ArchiverShape shape, std::wstring_view archivePath);

}  // namespace kivrel
