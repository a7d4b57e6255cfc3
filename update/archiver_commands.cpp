#include "update/archiver_commands.h"

namespace kivrel {

std::wstring ArchiverArguments(ArchiverShape shape, std::wstring_view archivePath,
                               std::wstring_view destinationFolder) {
    std::wstring arguments;
    switch (shape) {
        case ArchiverShape::WinRar:
            arguments = L"x";
            arguments += L" -o+ -y -IBCK ";
            arguments += L'"';
            arguments += archivePath;
            arguments += L'"';
            arguments += L" *.* ";
            arguments += L'"';
            arguments += destinationFolder;
            arguments += L'"';
            break;
        case ArchiverShape::SevenZip:
            arguments = L" x \"";
            arguments += archivePath;
            arguments += L"\" -aoa -y \"-o";
            arguments += destinationFolder;
            arguments += L'"';
            break;
    }
    return arguments;
}

std::wstring ArchiverCommandLine(std::wstring_view executable, std::wstring_view arguments) {
    std::wstring commandLine = L"\"";
    commandLine += executable;
    commandLine += L"\" ";
    commandLine += arguments;
    return commandLine;
}

std::wstring ArchivePathFromArguments(std::wstring_view arguments) {
    const std::size_t open = arguments.find(L'"');
    if (open == std::wstring_view::npos) return {};
    const std::size_t close = arguments.find(L'"', open + 1);
    if (close == std::wstring_view::npos) return {};
    return std::wstring(arguments.substr(open + 1, close - open - 1));
}

std::wstring ListingArguments(ArchiverShape shape, std::wstring_view archivePath) {
    std::wstring arguments = shape == ArchiverShape::WinRar ? L"lt -p- \"" : L"l -slt \"";
    arguments += archivePath;
    arguments += L'"';
    return arguments;
}

}  // namespace kivrel
