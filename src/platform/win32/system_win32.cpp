// Win32 process set-up, and the devices files lie on.
#include <windows.h>
#include <winioctl.h>

#include <cstdlib>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/win32_paths.h"

using namespace plat_win32;

namespace {

// ---- Console ----

UINT saved_output_cp = 0;

void restore_output_cp() {
    if (saved_output_cp != 0)
        SetConsoleOutputCP(saved_output_cp);
}

BOOL WINAPI on_console_event(DWORD) {
    restore_output_cp();
    return FALSE; // the default handling then ends the process
}

} // namespace

void plat_init() {
    // A path on an empty drive fails instead of opening a "No disk" box that stops a batch run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The report holds code-page bytes; a console shows them in its own (OEM) code page, so
    // for the run it takes the code page the names are in. Redirected output is left alone.
    DWORD mode = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode))
        return;
    UINT current = GetConsoleOutputCP();
    if (current == 0 || current == GetACP() || !SetConsoleOutputCP(GetACP()))
        return;
    saved_output_cp = current;
    std::atexit(restore_output_cp);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

int plat_processor_count() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0)
        return 1;
    int count = 0;
    for (; process != 0; process &= process - 1)
        ++count;
    return count;
}

bool plat_device_of(const char* dir, PlatDevice* out) {
    wchar_t path[SYSTEM_PATH_SIZE];
    wchar_t volume[MAX_PATH + 1];
    if (!exact_system_path(dir[0] != '\0' ? dir : ".\\", path) ||
        !GetVolumePathNameW(path, volume, MAX_PATH + 1))
        return false;
    // The volume's name stands for its device.
    std::uint64_t id = 14695981039346656037u;
    for (const wchar_t* p = volume; *p != L'\0'; ++p)
        id = (id ^ static_cast<std::uint64_t>(*p)) * 1099511628211u;
    out->id = id;
    out->kind = DeviceKind::Solid;
    // A recursive build asks once per directory, nearly always about the same volume: the
    // device is opened and asked once per volume.
    static wchar_t last_volume[MAX_PATH + 1];
    static bool last_answer = false;
    if (last_volume[0] != L'\0' && std::wcscmp(volume, last_volume) == 0) {
        out->kind = last_answer ? DeviceKind::Rotating : DeviceKind::Solid;
        return true;
    }
    // The volume's device: "\\?\C:\" becomes "\\.\C:".
    wchar_t device[MAX_PATH + 8] = L"\\\\.\\";
    const wchar_t* name = volume;
    if (std::wcsncmp(name, L"\\\\?\\", 4) == 0)
        name += 4;
    std::size_t len = std::wcslen(name);
    if (len == 0 || len + 5 > MAX_PATH + 8)
        return true;
    std::wmemcpy(device + 4, name, len + 1);
    if (device[4 + len - 1] == L'\\')
        device[4 + len - 1] = L'\0';
    bool penalty = false;
    HANDLE handle = CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = StorageDeviceSeekPenaltyProperty;
        query.QueryType = PropertyStandardQuery;
        DEVICE_SEEK_PENALTY_DESCRIPTOR answer{};
        DWORD got = 0;
        penalty = DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                  &answer, sizeof answer, &got, nullptr) != 0 &&
                  got >= sizeof answer && answer.IncursSeekPenalty != FALSE;
        CloseHandle(handle);
    }
    std::wmemcpy(last_volume, volume, std::wcslen(volume) + 1);
    last_answer = penalty;
    out->kind = penalty ? DeviceKind::Rotating : DeviceKind::Solid;
    return true;
}
