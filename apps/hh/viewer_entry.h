// The viewer's entry point. hh.exe loads the viewer only when it shows a window, so that
// -decompile starts without loading the GUI libraries at all.
#pragma once

#if defined(_WIN32)
#define QUORLIN_HH_EXPORT
#else
#define QUORLIN_HH_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QUORLIN_HH_EXPORT int quorlin_hh_view_main(int argc, char** argv, const char* file,
                                                      const char* page, const char* usageError);

// The name hh.exe looks up in the viewer module.
inline constexpr const char* kViewerEntryName = "quorlin_hh_view_main";
