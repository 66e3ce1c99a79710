// The history chart of the RTU state page.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/PageRtuState.h"

namespace {
// The selector's entries "6" ... "16" draw points of 6 ... 11 pixels.
constexpr double kSmallestPoint = 6;
constexpr double kManualBottomLimit = 30;
}  // namespace

void CPageRtuState::plotHistory(const QString& title) {
    const double pointSize = kSmallestPoint + std::max(0, pointSizeSelector->currentIndex());
    const int n = history.RowCount();
    if (n == 0) {
        chart->ReplaceSeries({}, {}, chart->Points().markerSize());
        chart->SetTitle(title);
        return;
    }
    QList<QPointF> line;
    QList<QPointF> points;
    double lo = 0;
    double hi = 0;
    for (int i = 0; i < n; ++i) {
        const double value = std::strtod(history.Row(i).value.c_str(), nullptr);
        lo = std::min(lo, value);
        hi = std::max(hi, value);
        points << QPointF(i, value);
        line << QPointF(i, std::trunc(value));
    }
    chart->SetTitle(title);
    chart->SetBottomTickStep(1);
    chart->SetLeftRange(lo - 2, hi * 1.2 + 2);
    // With AUTOFIT ticked the new samples set the range. Clear, the fixed range of 30 samples grows to
    // the rows loaded: a range kept from the last plot would hide the newest rows beyond it.
    chart->SetBottomAutomatic(autoFitBox->isChecked());
    if (!autoFitBox->isChecked()) chart->SetBottomRange(0, std::max(kManualBottomLimit, n - 1.0));
    chart->ReplaceSeries(line, points, pointSize);
    chart->SetBottomAutomatic(false);
}

void CPageRtuState::ApplyAutoFit() {
    if (autoFitBox->isChecked()) {
        chart->SetBottomAutomatic(true);
    } else {
        chart->SetBottomAutomatic(false);
        chart->SetBottomRange(0, kManualBottomLimit);
    }
    chart->update();
}
