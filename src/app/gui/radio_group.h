// A radio group: a captioned box with radio buttons and the index of the
// checked one (-1 when none is checked).
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace dozered {

class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& caption, const QStringList& items, Qt::Orientation orientation,
             QWidget* parent = nullptr);

  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const;
  int ItemCount() const;

 signals:
  void ItemClicked(int index);

 private:
  QButtonGroup* buttons_;
};

}  // namespace dozered
