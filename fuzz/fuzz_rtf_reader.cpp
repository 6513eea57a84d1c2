// The help window's RTF reader on any bytes.
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

#include "ui/help/rtf_reader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QTextDocument document;
    ombrilo::ReadRtf(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)),
                     document);
    (void)document.toPlainText();
    return 0;
}
