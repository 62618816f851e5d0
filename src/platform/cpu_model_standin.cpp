// For x86-64 macOS cross builds with Zig only: what __builtin_cpu_init and
// __builtin_cpu_supports read, which Zig's runtime lacks and a Mac's own has, laid out as
// clang 19 declares them. It reports no processor feature, so a program built so always runs
// the portable kernel; the fast ones are still compiled and linked, which is what the cross
// build is for.
extern "C" {
struct {
    unsigned vendor, type, subtype, features[1];
} __cpu_model;
unsigned __cpu_features2[3];
void __cpu_indicator_init() {}
}
