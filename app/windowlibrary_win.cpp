#include "app/windowlibrary.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr wchar_t libraryName[] = L"parlink-window.dll";

std::wstring executablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2); // a long path: the name was cut short
    }
}

std::string narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::string systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return narrow(message) + " (error " + std::to_string(code) + ")";
}

} // namespace

WindowModeEntry loadWindowMode(std::string& error)
{
    const std::wstring executable = executablePath();
    const std::wstring path = executable.substr(0, executable.find_last_of(L"\\/") + 1) + libraryName;
    // The library's own imports (Qt, hidapi) are looked for in its folder first, as the executable's are.
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        // Windows names neither the DLL it did not find nor the damaged one: it may be this one or one it needs.
        error = narrow(path) + " or a DLL it needs (Qt, hidapi) cannot be loaded: " + systemMessage(GetLastError());
        return nullptr;
    }
    if (const FARPROC entry = GetProcAddress(library, windowModeEntryName))
        return reinterpret_cast<WindowModeEntry>(reinterpret_cast<void*>(entry));
    error = narrow(path) + " has no " + windowModeEntryName;
    return nullptr;
}

void reportWindowModeMissing(const std::string& error)
{
    const std::string text = "Parlink cannot start: " + error;
    std::fprintf(stderr, "parlink: %s\n", text.c_str());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
    MessageBoxW(nullptr, wide.c_str(), L"Parlink", MB_OK | MB_ICONERROR);
}
