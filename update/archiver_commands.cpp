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

}  // namespace kivrel
