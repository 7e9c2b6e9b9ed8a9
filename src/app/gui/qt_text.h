// The tool's texts are single-byte; these convert them to and from Qt's.
#pragma once

#include <QFont>
#include <QString>
#include <string>

namespace dozered {

inline QString ToQString(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) { return text.toLatin1().toStdString(); }

// The fixed-pitch font of the memos and dumps.
inline QFont FixedPitchFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

}  // namespace dozered
