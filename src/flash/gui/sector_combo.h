// The "Sectors:" drop-down list of the flash pages: transfer lengths of
// 1 K to 32 K (item k means 2^(k+1) data sectors).
#pragma once

#include <QComboBox>
#include <QStringList>

namespace dozered {

inline QComboBox* NewSectorCombo(const char* object_name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(object_name));
  combo->setEditable(false);
  combo->addItems({QStringLiteral("1 K"), QStringLiteral("2 K"), QStringLiteral("4 K"),
                   QStringLiteral("8 K"), QStringLiteral("16 K"), QStringLiteral("32 K")});
  return combo;
}

}  // namespace dozered
