// A library of the build's own processor that loads fine but offers nothing kestrel
// looks for (a HwQuery.dll without CHwBoard).
extern "C" __declspec(dllexport) int PlainLibraryMark() { return 1; }
