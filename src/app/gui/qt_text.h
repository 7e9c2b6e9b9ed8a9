// The tool's texts are single-byte; these convert them to and from Qt's.
#pragma once

#include <QFile>
#include <QFont>
#include <QString>
#include <filesystem>
#include <string>

namespace dozered {

inline QString ToQString(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) { return text.toLatin1().toStdString(); }

// A file name from Qt as a path, whatever its characters: Windows takes the
// UTF-16 name as it is, other systems the bytes Qt would open it by.
inline std::filesystem::path ToPath(const QString& name) {
#ifdef _WIN32
  return std::filesystem::path(name.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// The fixed-pitch font of the memos and dumps.
inline QFont FixedPitchFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

}  // namespace dozered
