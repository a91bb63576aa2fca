#pragma once
// Shared by the fuzz targets: libFuzzer's entry points, and quiet Qt logging
// so the loaders' progress lines and the warnings of broken input (which
// every other run has) do not slow the fuzzing down.

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace FuzzSupport {

// Drops debug, info and warning output; critical and fatal messages still reach stderr.
void quietQtLogging();

// The input as a byte array that does not copy it.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}

} // namespace FuzzSupport
