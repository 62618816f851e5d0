// The neutral operating-system interface: file search, exclusive read-only mapping,
// streams that remember what this process holds open, and directory identity.
// src/platform/posix and src/platform/win32 each give it a body; nothing else knows the OS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/constants.h"

// An OS handle; 0 means "none" on every platform.
using PlatHandle = std::uintptr_t;

// Process set-up, first thing in main: output that can no longer be written (a closed pipe,
// a file-size limit) never ends the run, no file of the program can take the place of a closed
// standard descriptor, a console shows the report's names as they are, and no path (an empty
// drive) makes the system ask the user anything.
void plat_init();

// The program itself, started by the platform's entry point with the command line's arguments
// in the code page; its result is the exit status.
int velmora_main(int argc, char** argv);

// Whether argument index could not be given to the program exactly: a character of it has no
// equivalent in the code page (Windows). The argument then holds "?" for each such character.
bool plat_argument_unsupported(int index);

// ---- Encodings of names ----

// How the bytes of a path or name are read: in the program's own encoding (the ANSI code page on
// Windows, the bytes as they stand on POSIX), or as UTF-8 (a list that starts with a UTF-8 mark,
// a file name the code page cannot hold). On POSIX the two are one.
enum class NameCode : unsigned char { Native, Utf8 };

// What the caller already knows of a path it opens.
enum class PathSeen : unsigned char {
    Unknown,     // a name as typed or read from a list, perhaps in another letter case
    ListedPlain, // a name exactly as its directory's listing gave it, there a plain file
};

// Writes text, in the program's own encoding, into out (size bytes) as UTF-8. False, out
// empty, when it does not fit.
bool plat_utf8_from_native(const char* text, char* out, std::size_t size);

// Writes UTF-8 text into out (size bytes, at least 1) in the program's own encoding as far as
// that holds it: "?" for each character it lacks, cut at a whole character when out is full.
void plat_native_from_utf8(const char* text, char* out, std::size_t size);

// The other reading of a list's entry name (a list without a UTF-8 mark) when the name as read
// names nothing, into out as UTF-8: on Windows, names whose bytes are valid UTF-8 with a
// character beyond ASCII, taken as UTF-8; on POSIX, names whose bytes are not valid UTF-8,
// converted from Windows-1252, the code page most lists made on Windows are in. False when
// the name has no other reading or it does not fit.
bool plat_list_name_other(const char* name, char* out, std::size_t size);

// Writes UTF-8 text on the console standard output is, with every character it can show.
// False, with nothing written, where standard output is no console or names are shown as
// their bytes anyway (POSIX).
bool plat_console_show_utf8(const char* text);

// ---- File search (wildcards "*" and "?", ASCII letter case ignored) ----

inline constexpr std::uint32_t FIND_ATTR_DIRECTORY = 0x10;
// The name cannot be held by the program's paths (it holds a separator or a control
// character, or cannot be written in the code page, or is longer than name holds, or on
// Windows names a directory that Win32 path rules would rename): the entry is never opened or
// walked. name then shows it as well as the code page and its size allow.
inline constexpr std::uint32_t FIND_ATTR_UNSUPPORTED = 0x80000000u;
// A plain file whose name the code page cannot hold: name is given in UTF-8 (Windows).
inline constexpr std::uint32_t FIND_ATTR_UTF8 = 0x40000000u;
// Listed as a plain file by the directory itself, not through a link: its name in this
// directory may be opened as seen PathSeen::ListedPlain.
inline constexpr std::uint32_t FIND_ATTR_PLAIN = 0x20000000u;

// The fields of a search result the program reads.
struct FindData {
    std::uint32_t attributes;
    // Tells apart entries whose shown names are equal; set for unsupported entries only.
    std::uint64_t name_id;
    char name[MAX_PATH];
};

struct FindSearch;

// What a step of a search gave.
enum class FindStep : unsigned char {
    Entry,  // data holds the next entry
    End,    // no entry more, or none at all: nothing matches, or the search cannot start
    Failed, // the directory failed while read, or memory ran out: entries may be missing
};

// Starts a search for pattern_path (directory part, then a name pattern as last component)
// and fills data with the first entry. *search is the search to go on with and close on
// Entry; nullptr, with nothing to close, otherwise.
FindStep plat_find_first(const char* pattern_path, FindSearch** search, FindData* data);

// Fills data with the next entry.
FindStep plat_find_next(FindSearch* search, FindData* data);

// Ends a search; a null search is ignored.
void plat_find_close(FindSearch* search);

// Whether dir (a directory path ending in a separator, "" for the current one) exists and its
// entries can be listed: tells a search that found nothing from one that could not look.
bool plat_dir_readable(const char* dir);

// Whether c opens a double-byte character of the ANSI code page (932, 936, 949, 950), whose
// second byte may look like "\\" or an ASCII letter. Always false where names are not so coded.
bool plat_is_lead_byte(unsigned char c);

// The bytes of the character at p (not its NUL) in the encoding of names and of the report:
// UTF-8 on POSIX, the ANSI code page on Windows. *control tells whether a terminal would act on
// it rather than show it. A byte that begins no valid UTF-8 character is one of its own, a
// control when it lies in 0x80-0x9F, which an 8-bit terminal takes as a C1 control.
std::size_t plat_report_char(const char* p, bool* control);

// Length of the directory part of path: up to and including its last separator
// ("\" or "/", and on drive-letter systems the colon of a leading "d:"); 0 when none.
std::size_t plat_directory_length(const char* path);

// Whether path (in code) names an existing entry other than a directory, found as the program
// finds names (in any letter case where the system tells case apart).
bool plat_file_exists(const char* path, NameCode code = NameCode::Native);

// Whether a and b name the same file: one that exists under both (links followed), or a name
// not there yet under either, in the same directory and in any letter case.
bool plat_same_file(const char* a, const char* b);

// True when path names an existing entry with its letters in the case given, where the
// system tells names apart by case. Elsewhere always false: any case names the same entry.
bool plat_exists_as_typed(const char* path);

// ---- Exclusive read-only files, read whole or through views of their parts ----

enum class OpenResult {
    Opened,
    Failed,
    // Refused for a reason that is not the file's own: held open elsewhere (perhaps by another
    // thread of this process) or no handle left in the process or the system. A try after
    // this process let go of its other handles may succeed.
    Retry,
    // Only with cached_only: the name or the file would have to be looked up on the device.
    NotCached,
};

// Why a plain file that exists could not be read, for the report. None also stands for what
// is not worth a word: no such file, or anything but a plain file.
enum class FileFault : unsigned char {
    None,
    Own,       // a stream this process holds open (the report file, a list): never listed
    Denied,    // the user may not read it (or reach it)
    InUse,     // another program holds it open, or a lease or lock keeps it (Windows mostly)
    NoHandles, // no handle left in the process or the system
    NoMemory,  // no memory left for the open
    Changed,   // its size or modification time changed while it was read
    ReadError, // the device failed, or a page of it could not be read
};

// What tells that a file changed: its size, and its modification time in the system's units.
struct FileStamp {
    std::uint64_t size;
    std::uint64_t mtime;
};

// Opens an existing plain file (path in code) for reading, and gives its stamp: others may read
// it meanwhile, nobody may write it where the OS can keep them from it. Fails for a missing
// path, anything but a plain file (directory, named pipe, device), a file this process holds
// through a stream, and where the OS can tell, a file another holds open for writing. Never
// waits for a pipe's writer. With cached_only (only where plat_residency_known), gives NotCached
// instead of reading anything from the device: the path must resolve from memory as given. On
// Failed and Retry, *fault tells why. A path seen ListedPlain is opened without a lookup of its
// own; what was opened is still tested.
OpenResult plat_open_exclusive(const char* path, bool cached_only, PlatHandle* file,
                               FileStamp* stamp, FileFault* fault, NameCode code = NameCode::Native,
                               PathSeen seen = PathSeen::Unknown);

// The stamp of an opened file now, taken on its handle; false when it cannot be learned.
bool plat_file_stamp(PlatHandle file, FileStamp* stamp);

// The next stretch of the file's data in [offset, end): from *data (end when only holes are
// left before end) to *data_end, where the hole after it starts (at most end). Holes read as
// zeros and are never read: touching one through a mapping can allocate it. Where holes
// cannot be asked for, all of [offset, end) is data. False when the file now ends before end.
// Safe from several threads on one file.
bool plat_next_data(PlatHandle file, std::uint64_t offset, std::uint64_t end, std::uint64_t* data,
                    std::uint64_t* data_end);

// A read-only view of part of an opened file: size bytes at data. The mapping may start
// before data, where views must start; only the view's own bytes are read.
struct PlatView {
    const unsigned char* data;
    std::uint64_t size;
    const unsigned char* mapped; // where the mapping starts
    std::uint64_t mapped_size;
    std::uint64_t mapped_at; // the file offset mapped starts at
    bool cold; // its first page was not known to be in memory (POSIX; false on Windows)
};

// Maps the len bytes (not 0) of an opened file from offset on, for one read front to back;
// any offset will do. A part that lies past the file's end fails here (Windows) or faults
// when read (POSIX), which plat_read_view catches. Release it with plat_unmap_view.
bool plat_map_view(PlatHandle file, std::uint64_t offset, std::uint64_t len, PlatView* view);
void plat_unmap_view(const PlatView* view);

// How a cold view is read: by the system's own read-ahead as its pages are touched, or asked of
// the device whole before it is read, alone or with as much again after it that is not in
// memory either (so that the device reads on while it is summed).
enum class ViewAsk { Not, Whole, WholeAndNext };

// Asks the device for view's pages as ask says, where the system takes such advice (POSIX).
void plat_ask_view(PlatHandle file, const PlatView* view, ViewAsk ask);

// Views start at multiples of this on every system; parts that do too map nothing extra.
inline constexpr std::uint64_t PLAT_VIEW_ALIGNMENT = std::uint64_t{1} << 16;

// Closes a handle; 0 is accepted.
void plat_close_handle(PlatHandle handle);

// A reader that folds len bytes into a running 32-bit state. It never locks, allocates or
// holds anything beyond the call: a fault on the view abandons it mid-way (POSIX jumps out of
// the signal handler), which would leave a lock held or memory lost.
using PlatViewReader = std::uint32_t (*)(std::uint32_t state, const unsigned char* data,
                                         std::size_t len);

// Runs reader over the size bytes at view, updating *state. Returns false when a page of
// them could not be read (the file shrank under the mapping); *state is then meaningless.
// A fault anywhere else, or on another thread, is not caught.
bool plat_read_view(PlatViewReader reader, std::uint32_t* state, const unsigned char* view,
                    std::uint64_t size);

enum class ReadResult {
    Whole,
    Changed, // fewer or more bytes than size were there: the file changed size
    NotCached,
};

// Reads the whole file from its start, size bytes as its open gave (a few MiB at most), into
// buffer (capacity bytes, more than size so that a file that grew shows). With cached_only
// (only where plat_residency_known), gives NotCached, having read nothing and started no read
// of the device, unless the whole file is in memory.
ReadResult plat_read_file(PlatHandle file, bool cached_only, unsigned char* buffer,
                          std::size_t capacity, std::uint64_t size);

// Reads the len bytes from offset into buffer, for files no view or whole read can be made for
// (no address space left). False when fewer were there or the device failed. Safe from
// several threads on one file.
bool plat_read_at(PlatHandle file, std::uint64_t offset, unsigned char* buffer, std::size_t len);

// Asks the device for the size bytes of an opened file, to be read soon: several files asked for
// at once keep a device busy that serves many requests together. Does nothing where the
// system has no such request.
void plat_prefetch(PlatHandle file, std::uint64_t size);

// Whether all size bytes of the file are in memory now, learned without reading any;
// false when it cannot be learned.
bool plat_data_cached(PlatHandle file, std::uint64_t size);

// ---- Streams ----

// fopen with the program's path rules. While the stream is open, plat_open_exclusive
// refuses the file. An existing path that is not a plain file (a directory, a named pipe, a
// device) is refused. Returns nullptr on failure.
std::FILE* plat_fopen(const char* path, const char* mode);

// Closes a stream from plat_fopen; returns fclose's result (non-zero: data may be lost).
int plat_fclose(std::FILE* stream);

// Removes a file where it can; nothing tells of a failure.
void plat_remove(const char* path);

// Points standard output (text mode) at a new, empty file name in the current directory,
// never through a link. On failure standard output is left as it was and false is returned.
bool plat_redirect_stdout(const char* name);

// ---- SFV files, written whole or not at all ----

// The names of the new files a list is written to before it takes its place:
// PLAT_LIST_TEMP_PREFIX, the process id, "-", a number, PLAT_LIST_TEMP_SUFFIX.
inline constexpr char PLAT_LIST_TEMP_PREFIX[] = ".velmora-";
inline constexpr char PLAT_LIST_TEMP_SUFFIX[] = ".tmp";

// Opens the SFV file at path for writing; one at a time. The list is written to a new file
// beside it that takes the name of the old list (as it exists on disk) only when complete,
// so that a run that fails or is stopped leaves the old list as it was, and no part of the
// new one behind (POSIX: on a stop signal, which then ends the process by its default
// action; Windows: however the process ends). Where the system allows (Linux), the new file
// has no name until the instant before it is put in place, so no other run lists it and even
// a kill leaves none; elsewhere it has its temporary name from the start. Every step on
// the directory is taken relative to a handle on it, so a directory renamed meanwhile gets the
// list. A link at the name is replaced, never written through. Where the directory takes no
// new file but the list may be written, it is rewritten in place: kept in memory and written
// at the commit in one write, which a stop leaves whole or empty and a failure empty.
// Until the stream is committed or abandoned, plat_open_exclusive refuses the old list.
// nullptr when the list may not be written (read-only, a directory, a device).
std::FILE* plat_list_open(const char* path);

// Closes the stream from plat_list_open and puts the list in place. False when any of that
// failed: then nothing of the new list is left and the old list stays (unless written in
// place, when the list is left empty).
bool plat_list_commit(std::FILE* stream);

// Closes the stream from plat_list_open; the old list stays as it was.
void plat_list_abandon(std::FILE* stream);

// ---- The standard streams, and the progress line on a console ----

// Why the last write to a stream failed, asked at once after it: nullptr when its reader has
// gone (a closed pipe), otherwise a short phrase for the fault, such as "disk full".
const char* plat_write_error();

// While hold is true, a stop of the run from outside (a stop signal on POSIX, Ctrl-C or a
// closed console on Windows) is held back until the report lines pending on the calling thread,
// the main one, are written out and hold is false again: no stop finds a line half written or
// still buffered. A stop that comes meanwhile then takes effect.
void plat_hold_stops(bool hold);

// For a thread that never writes the report (a checksum worker), first thing: stop signals are
// never handled there, so they reach the main thread, which may hold them back.
void plat_thread_takes_no_stops();

// Whether standard error (or standard output) is a console or terminal: where a person reads
// it, not a file or pipe.
bool plat_stderr_console();
bool plat_stdout_console();

// The console's width in columns, learned anew; 80 when it cannot be learned.
int plat_console_columns();

// Writes text (len bytes in the program's own encoding: one line without a line break,
// narrower than the console) over the line shown on standard error, in the console's terms
// whatever its own code page; len 0 erases the line. A line left shown is erased as the
// process ends by a stop signal (POSIX) or a console event (Windows).
void plat_progress_show(const char* text, std::size_t len);

// ---- Processors and devices ----

// Processors this process may run on (its affinity), at least 1.
int plat_processor_count();

// Instruction-set extensions the CRC-32 kernels can use, as bits: each only where both the
// processor and the operating system (which must save the wider registers) support it.
enum PlatCpuFeature : unsigned {
    PLAT_CPU_PCLMUL = 1u << 0,       // x86-64: PCLMULQDQ with SSE4.1
    PLAT_CPU_VPCLMUL = 1u << 1,      // x86-64: VPCLMULQDQ with AVX-512 F, VL and BW
    PLAT_CPU_CRC32 = 1u << 2,        // ARM64: the CRC32 instructions
    PLAT_CPU_PMULL = 1u << 3,        // ARM64: 64-bit polynomial multiply (PMULL, PMULL2)
    PLAT_CPU_SHA3 = 1u << 4,         // ARM64: three-way exclusive or (EOR3)
    PLAT_CPU_VPCLMUL_AVX2 = 1u << 5, // x86-64: VPCLMULQDQ with AVX2
};
unsigned plat_cpu_features();

// What the system tells of the device a directory lies on.
enum class DeviceKind : unsigned char {
    Memory,   // a file system in memory (tmpfs): nothing to wait for
    Solid,    // a device that says it does not seek (flash), or where the system cannot tell
    Rotating, // a device that says it seeks (which a virtual disk often says wrongly)
    Unknown,  // no device of its own to ask (a network or user-space file system, a union)
};
struct PlatDevice {
    std::uint64_t id; // the same for every directory on the device
    DeviceKind kind;
};

// The device dir lies on; false when it cannot be learned.
bool plat_device_of(const char* dir, PlatDevice* device);

// Whether the cached_only opens and reads above work here, telling data in memory from data
// that must come from the device.
bool plat_residency_known();

// ---- Directories ----

// Volume and 128-bit file index of a directory.
struct DirIdentity {
    std::uint64_t volume;
    std::uint64_t index_high;
    std::uint64_t index_low;
};

// Identity of the directory at path, links followed; false when it cannot be learned
// (an identity the system reports as 0 counts as unknown).
bool plat_dir_identity(const char* path, DirIdentity* id);
