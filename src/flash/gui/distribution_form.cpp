#include "flash/gui/distribution_form.h"

#include <QAreaSeries>
#include <QPushButton>
#include <QScreen>
#include <QValueAxis>

#include "app/app_state.h"
#include "app/feedback.h"
#include "chart/chart.h"
#include "flash/gui/flash_rw_page.h"

namespace dozered {
namespace {

constexpr int kMargin = 7;  // around and between the charts

const QColor kBarOutline(255, 0, 0);
const QColor kBarFill(255, 0, 0, 110);

}  // namespace

TM_Distribution::TM_Distribution(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("M_Distribution"));
  setWindowTitle(QStringLiteral("Distribution_Result"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  TChart** charts[] = {&Chart1, &Chart2, &Chart3};
  TBarSeries** series[] = {&Series1, &Series2, &Series3};
  const int gap = (kClientHeight - 3 * kChartHeight) / 4;
  for (int i = 0; i < kDistributionSeriesCount; ++i) {
    TChart* chart = new TChart(this);
    chart->setObjectName(QStringLiteral("Chart%1").arg(i + 1));
    chart->setGeometry(kMargin, gap + i * (kChartHeight + gap), kChartWidth, kChartHeight);
    chart->SetTitle(QString::fromLatin1(kDistributionChartTitles[i]));
    chart->SetBottomAxisTitle(QStringLiteral("Offset"));
    chart->SetLeftAxisTitle(QStringLiteral("Count"));
    chart->SetBottomAxisRange(kDistributionAxisMin, kDistributionAxisMax, 8);
    *charts[i] = chart;
    *series[i] = chart->AddBarSeries(kBarOutline, kBarFill);
    (*series[i])->Series()->setObjectName(QStringLiteral("Series%1").arg(i + 1));
  }
}

void TM_Distribution::ClearCharts() {
  for (TChart* chart : {Chart1, Chart2, Chart3}) chart->SetBottomAxisRange(kDistributionAxisMin, kDistributionAxisMax, 8);
  for (TBarSeries* series : {Series1, Series2, Series3}) series->Clear();
}

void TM_Distribution::AddPoint(int series, int x, uint32_t y, const QString& label) {
  TBarSeries* all[] = {Series1, Series2, Series3};
  if (series < 0 || series >= kDistributionSeriesCount) return;
  all[series]->AddPoint(x, y, label);
}

void TM_Distribution::ShowPoints(const DistributionSeries& series) {
  ClearCharts();
  for (int s = 0; s < kDistributionSeriesCount; ++s) {
    for (const DistributionPoint& p : series[static_cast<size_t>(s)]) {
      AddPoint(s, p.X, p.Count, QString::fromStdString(p.Label));
    }
  }
  for (TChart* chart : {Chart1, Chart2, Chart3}) chart->Flush();
}

void TM_Distribution::ShowModal(QWidget* over) {
  if (over != nullptr) {
    const QRect frame = over->frameGeometry();
    QPoint topLeft = frame.center() - QPoint(width() / 2, height() / 2);
    if (const QScreen* screen = over->screen()) {
      // Keep the title bar on the screen.
      const QRect available = screen->availableGeometry();
      topLeft.setY(std::max(topLeft.y(), available.top()));
      topLeft.setX(std::max(topLeft.x(), available.left()));
    }
    move(topLeft);
  }
  exec();
}

void TM_Distribution::BindButton(TFlashRwPage& page, Feedback& feedback, QWidget* over) {
  page.BindControl(page.BTN_Distribution);
  connect(page.BTN_Distribution, &QPushButton::clicked, this,
          [this, &page, &feedback, over] { Measure(page, feedback, over); });
}

void TM_Distribution::Measure(TFlashRwPage& page, Feedback& feedback, QWidget* over) {
  DistributionOutcome out;
  page.Run([&](FlashRwFields& fields) {
    out = MeasureDistribution(state_, feedback, fields, [&page](const FlashOutcome& views) { page.ShowViews(views); });
    return static_cast<FlashOutcome>(out);
  });
  if (out.ChartCleared) ShowPoints(out.Series);
  if (out.ShowChart) ShowModal(over);
}

}  // namespace dozered
