/* What the shared library exports. The library is built with hidden symbols; the
   public classes and the C functions carry QVAD_EXPORT. Valid C and C++. */
#ifndef QVAD_EXPORT_H
#define QVAD_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define QVAD_EXPORT __attribute__((visibility("default")))
/* A member of an exported class that only the library itself calls. */
#define QVAD_NO_EXPORT __attribute__((visibility("hidden")))
#else
#define QVAD_EXPORT
#define QVAD_NO_EXPORT
#endif

#endif /* QVAD_EXPORT_H */
