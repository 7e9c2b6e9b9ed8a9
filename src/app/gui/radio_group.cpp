#include "app/gui/radio_group.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QRadioButton>

namespace dozered {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, Qt::Orientation orientation,
                       QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  auto* layout = new QBoxLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom,
                                this);
  layout->setContentsMargins(8, 2, 8, 2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_->addButton(button, i);
    layout->addWidget(button);
  }
  layout->addStretch(1);
  connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::ItemClicked);
}

int RadioGroup::ItemIndex() const { return buttons_->checkedId(); }

void RadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < ItemCount()) {
    buttons_->button(index)->setChecked(true);
    return;
  }
  buttons_->setExclusive(false);
  for (QAbstractButton* b : buttons_->buttons()) b->setChecked(false);
  buttons_->setExclusive(true);
}

QRadioButton* RadioGroup::Item(int index) const { return qobject_cast<QRadioButton*>(buttons_->button(index)); }

int RadioGroup::ItemCount() const { return static_cast<int>(buttons_->buttons().size()); }

}  // namespace dozered
