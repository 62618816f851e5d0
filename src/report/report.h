// Every line the program writes to standard output (the report), one function per kind of
// line, so that the whole vocabulary of the report is in this file and report.cpp. Lines end
// in "\n"; each function's lines leave the program before it returns, or as its batch ends. The
// progress line on a console's standard error is here too; each report line erases it first when
// the report goes to a console as well, so that the screen reads as the report would in a file.
#pragma once

#include <cstdint>

// Names and paths given to these functions are printed as they are unless said otherwise;
// "shown" means each control character is printed as "?", so a name cannot break a line. A
// name in UTF-8 (NameCode::Utf8, where that is not the program's own encoding) is shown as
// well as the report's target allows: on a console whole, elsewhere with "?" for each
// character the code page lacks. ({} is NameCode::Native.)
enum class NameCode : unsigned char;

// Whether a report line could not be written (a full disk, a closed pipe), so that its reader
// may lack it: a check then ends, since nobody would learn its verdicts. The first such
// failure is said on standard error ("Error: cannot write the report: REASON"), unless the
// report's reader has gone.
bool report_lost();

// The lines of several report functions written out together, where the caller knows that
// nothing between them can wait (verdicts of files read already): one write for them all, not
// one each. Stops from outside are held back meanwhile, so that none finds a line pending; a
// batch ends before anything that may wait.
void report_batch_begin();
void report_batch_end();

// The fixed usage screen; the name and version alone.
void report_help();
void report_version();

// The banner before a build: the SFV file's name, the directory as given, whether the build
// is recursive, and each pattern followed by two spaces; then a blank line.
void report_build_banner(const char* sfv_name, const char* build_dir, bool recursive,
                         char* const* patterns, int pattern_count);

// The banner before a check: the SFV file's path as given, then a blank line.
void report_check_banner(const char* sfv_to_check);

// "Job done!": the last line of every run that got past the command line.
void report_job_done();

// Command line: an argument the platform cannot pass on exactly (shown); an option whose
// value does not fit (option is e.g. "-p"); the -o file that could not be created.
void report_argument_unsupported(const char* argument);
void report_value_too_long(const char* option);
// An option that takes a value given without one (option e.g. "-p"): the form it takes.
void report_value_missing(const char* option);
void report_cannot_create_redirect_file();
// Build: the -f value holds a folder, which -p gives.
void report_sfv_name_with_folder();

// Build: the directory a build starts on, and its closing count with a blank line after it.
void report_checking_path(const char* dir);
void report_files_processed(int count);

// Build: a file whose name the platform cannot pass on exactly; a file or pattern whose path
// does not fit, or (cut) an entry's name that was read only as far as it fits.
void report_unsupported_name(const char* dir, const char* name, NameCode code = {});
void report_path_too_long(const char* dir, const char* name, bool cut = false, NameCode code = {});

// Build: a directory whose listing failed midway (its old list stays); a directory whose
// subdirectories could not all be read during the recursive walk.
void report_list_incomplete(const char* dir);
// Build: a directory that does not exist or cannot be read at all.
void report_directory_unreadable(const char* dir);
void report_walk_incomplete(const char* dir);

// Build: the SFV file could not be created, or not written whole; more files than a list
// holds (limit is how many are listed).
void report_cannot_create_sfv();
void report_cannot_write_sfv();
void report_too_many_files(int limit);

// Check: one entry's outcome, "name  OK!", "name  Broken" or "name  Missing".
enum class Verdict { Ok, Broken, Missing };
void report_verdict(const char* name, Verdict verdict);

// Check: a line of the SFV file that is no entry, by its number.
void report_not_an_entry(std::uint64_t line);

// Check: the SFV file could not be opened, or is UTF-16; each ends the check with a blank
// line.
void report_sfv_missing();
void report_sfv_utf16();

// Check: the SFV file failed while read (the entries after are unknown), or held no entry.
void report_sfv_read_failed();
void report_no_sfv_entry();

// Check: the blank line after the last entry.
void report_check_end();

// A plain file that exists but could not be read, with why (platform/platform.h), its
// directory and name shown: in a build, where it is listed as 00000000 ("Error: cannot read
// file, listed as 00000000: DIRNAME (REASON)"); in a check, right before its Missing verdict
// ("Error: cannot read file: DIRNAME (REASON)"). Nothing for FileFault::None.
enum class FileFault : unsigned char;
void report_unread_listed(const char* dir, const char* name, FileFault fault, NameCode code = {});
void report_unread(const char* dir, const char* name, FileFault fault);

// The progress line: files done of files (more may follow unless files_final), the file being
// read (its name in code, shown, shortened in the middle between whole characters to fit
// columns) and its bytes done of its size (size 0: not known yet), e.g.
// "[ 12/40] disc2.iso  1.9 of 4.7 GB".
void report_progress(std::uint64_t files_done, std::uint64_t files, bool files_final,
                     const char* name, NameCode code, std::uint64_t done, std::uint64_t size,
                     int columns);
// Erases the progress line when one is shown.
void report_progress_erase();
