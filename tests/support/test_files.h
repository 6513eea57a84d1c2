#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// Small helpers the tests use to put bytes on disk and look at them again.
namespace testfiles {

inline std::string Path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <std::size_t N>
QByteArray ToBytes(const std::array<std::uint8_t, N>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(N));
}

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The entries of a folder, hidden ones (such as temporary files) included.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

}  // namespace testfiles
