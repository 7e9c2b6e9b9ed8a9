#include "app/gui/pages/microcode_page.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/pages/info_page.h"

namespace dozered {

TMicrocodePage::TMicrocodePage(QWidget* parent) : QWidget(parent) {
  MM_Microcode = NewDumpMemo(QStringLiteral("MM_Microcode"), this);
  EDT_Microcode_FilePath = new QLineEdit(this);
  EDT_Microcode_FilePath->setObjectName(QStringLiteral("EDT_Microcode_FilePath"));
  BTN_Microcode_OpenFile = new QPushButton(QStringLiteral("Open File"), this);
  BTN_Microcode_OpenFile->setObjectName(QStringLiteral("BTN_Microcode_OpenFile"));
  BTN_Microcode_Download = new QPushButton(QStringLiteral("Download"), this);
  BTN_Microcode_Download->setObjectName(QStringLiteral("BTN_Microcode_Download"));

  auto* row = new QHBoxLayout;
  row->addWidget(EDT_Microcode_FilePath, 1);
  row->addWidget(BTN_Microcode_OpenFile);
  row->addWidget(BTN_Microcode_Download);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addWidget(MM_Microcode, 1);
}

}  // namespace dozered
