#include "reports/gui/erase_count_analyze_form.h"

#include <QCoreApplication>
#include <QScatterSeries>

#include "chart/chart.h"

namespace dozered {
namespace {

// The standard 16-colour values the marker is painted with.
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kNavy = 0xFF000080;
constexpr QRgb kTeal = 0xFF008080;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kCyan = 0xFF00FFFF;

}  // namespace

QImage TMEraseCount_Analyze::MarkerImage() {
  static constexpr const char* kRows[8] = {
      "WWNNNNWW", "WNTTTTNW", "NTCBBCTN", "NTBCCBTN", "NTBCCBTN", "NTCBBCTN", "WNTTTTNW", "WWNNNNWW",
  };
  QImage image(8, 8, QImage::Format_ARGB32);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      QRgb colour = kWhite;
      switch (kRows[y][x]) {
        case 'N': colour = kNavy; break;
        case 'T': colour = kTeal; break;
        case 'B': colour = kBlue; break;
        case 'C': colour = kCyan; break;
        default: break;
      }
      image.setPixel(x, y, colour);
    }
  }
  return image;
}

TMEraseCount_Analyze::TMEraseCount_Analyze(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("MEraseCount_Analyze"));
  setWindowTitle(QStringLiteral("Show Analyze"));
  // A fixed dialog frame: no resizing, no minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setModal(true);

  Chart1 = new TChart(this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setGeometry(0, 0, kChartWidth, kChartHeight);
  Chart1->SetTitle(QStringLiteral("TChart"));
  Series1 = Chart1->AddPointSeries(MarkerImage(), kMarkerSize);
  Series1->Series()->setObjectName(QStringLiteral("Series1"));
  Series1->Series()->setColor(QColor(0, 0, 128));
  Chart1->SetBottomAxisRange(0, 1);
}

void TMEraseCount_Analyze::PrepareChart(int blocks) {
  Chart1->SetBottomAxisRange(0, blocks);
  Series1->Clear();
  QCoreApplication::processEvents();
}

void TMEraseCount_Analyze::AddBlockPoint(int block, int count) {
  const QString label = QStringLiteral("%1").arg(block, 2, 16, QLatin1Char('0')).toUpper();
  Series1->AddPoint(block, count, label, QColor(0, 0, 128));
}

void TMEraseCount_Analyze::ShowModal(QWidget* over) {
  if (over != nullptr) {
    const QRect frame = over->frameGeometry();
    move(frame.center() - rect().center());
  }
  Chart1->Flush();
  if (show_modal_handler_) {
    show_modal_handler_(*this);
    return;
  }
  exec();
}

}  // namespace dozered
