// Linked into the Windows test builds of the program, so that reads fail as on a failing disk
// or a dropped share: a read of a file whose name ends in ".fault" fails past its first 8 KiB.
// The program's calls, and its C runtime's for streams, come here through their import tables.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

constexpr LONGLONG READABLE = 8192;

// The system's own: a call by name would go through the import table these change.
template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
const auto real_read = real<decltype(&ReadFile)>("ReadFile");

BOOL WINAPI read(HANDLE file, LPVOID buffer, DWORD want, LPDWORD got, LPOVERLAPPED at) {
    wchar_t name[1024];
    const DWORD len = GetFinalPathNameByHandleW(file, name, 1024, 0);
    LARGE_INTEGER pos{};
    if (at == nullptr && len >= 6 && len < 1024 && _wcsicmp(name + len - 6, L".fault") == 0 &&
        SetFilePointerEx(file, LARGE_INTEGER{}, &pos, FILE_CURRENT)) {
        if (pos.QuadPart >= READABLE) {
            SetLastError(ERROR_CRC);
            return FALSE;
        }
        want = static_cast<DWORD>(std::min<LONGLONG>(want, READABLE - pos.QuadPart));
    }
    return real_read(file, buffer, want, got, at);
}

// Points the import table entries of module named name at hook.
void redirect(HMODULE module, const char* name, void* hook) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.Size != 0 && d->Name != 0; ++d) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; d->OriginalFirstThunk != 0 && names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(
                    reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                    name) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
}

const bool redirected = [] {
    for (HMODULE module : {GetModuleHandleW(nullptr), GetModuleHandleW(L"msvcrt.dll")}) {
        redirect(module, "ReadFile", reinterpret_cast<void*>(read));
    }
    return true;
}();

} // namespace
