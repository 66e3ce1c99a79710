#include "widgets/CChartCtrl.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Points are 3 x 3 pixels until the first plot gives them a size.
constexpr double kInitialPointSize = 3.0;
// The points' colour, apart from the line's.
const QColor kPointColor(209, 214, 35);
// Room between two bottom labels, in widths of the digit 0.
constexpr int kLabelGapDigits = 2;
// Up to this many samples per labelled tick, each sample keeps a minor tick.
constexpr int kMostMinorTicks = 10;
// The bottom axis counts samples: one tick a sample, or a whole multiple where labels would collide.
constexpr double kSampleStep = 1;

// A filled circle of `size` pixels, the image drawn at each point.
QImage PointImage(const QColor& color, double size) {
    const int side = std::max(1, static_cast<int>(std::lround(size)));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color.darker(140), 1));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    return image;
}

// The smallest of 1, 2, 5, 10, 20, 50, ... that is at least `least`.
double NiceMultiple(double least) {
    double decade = 1;
    for (;;) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (factor * decade >= least) {
                return factor * decade;
            }
        }
        decade *= 10;
    }
}
}  // namespace

// The view gets its chart at construction: the parent-only constructor would make a default chart
// that setChart() then drops from the scene without deleting it.
CChartCtrl::CChartCtrl(QWidget* parent)
    : QChartView(new QChart, parent), chartArea(chart()), leftAxis(new QValueAxis), bottomAxis(new QValueAxis) {
    setRenderHint(QPainter::Antialiasing);
    chartArea->legend()->hide();
    chartArea->addAxis(leftAxis, Qt::AlignLeft);
    chartArea->addAxis(bottomAxis, Qt::AlignBottom);
    bottomAxis->setLabelFormat(QStringLiteral("%d"));
    line = new QLineSeries(chartArea);
    MakePointsSeries(kInitialPointSize);
    AttachSeries();
    connect(bottomAxis, &QValueAxis::rangeChanged, this, [this] { SpaceBottomLabels(); });
    connect(chartArea, &QChart::plotAreaChanged, this, [this] { SpaceBottomLabels(); });
    SetBottomTickStep(kSampleStep);
}

void CChartCtrl::MakePointsSeries(double pointSize) {
    points = new QLineSeries(chartArea);
    points->setMarkerSize(pointSize);
    points->setPen(Qt::NoPen);
    points->setLightMarker(PointImage(kPointColor, pointSize));
}

void CChartCtrl::SetTitle(const QString& title) { chartArea->setTitle(title); }

QString CChartCtrl::Title() const { return chartArea->title(); }

void CChartCtrl::SetLeftRange(double minimum, double maximum) { leftAxis->setRange(minimum, maximum); }

void CChartCtrl::SetBottomRange(double minimum, double maximum) { bottomAxis->setRange(minimum, maximum); }

void CChartCtrl::SetBottomAutomatic(bool automatic) {
    bottomAutomatic = automatic;
    if (automatic) {
        FitBottomToSamples();
    }
}

void CChartCtrl::SetBottomTickStep(double step) {
    bottomTickStep = step;
    bottomAxis->setTickType(QValueAxis::TicksDynamic);
    bottomAxis->setTickAnchor(0);
    SpaceBottomLabels();
}

void CChartCtrl::SpaceBottomLabels() {
    if (bottomTickStep <= 0) {
        return;
    }
    const double span = bottomAxis->max() - bottomAxis->min();
    const double width = chartArea->plotArea().width();
    double multiple = 1;
    if (span > 0 && width > 0) {
        const QFontMetrics metrics(bottomAxis->labelsFont());
        // The widest label sits at one end of the range.
        const int widest = std::max(metrics.horizontalAdvance(QString::number(std::floor(bottomAxis->min()), 'f', 0)),
                                    metrics.horizontalAdvance(QString::number(std::ceil(bottomAxis->max()), 'f', 0)));
        const double labelRoom = widest + kLabelGapDigits * metrics.horizontalAdvance(QLatin1Char('0'));
        const double pixelsPerStep = width * bottomTickStep / span;
        multiple = NiceMultiple(labelRoom / pixelsPerStep);
    }
    const int minorTicks = multiple <= kMostMinorTicks ? static_cast<int>(multiple) - 1 : 0;
    if (bottomAxis->tickInterval() != bottomTickStep * multiple) {
        bottomAxis->setTickInterval(bottomTickStep * multiple);
    }
    if (bottomAxis->minorTickCount() != minorTicks) {
        bottomAxis->setMinorTickCount(minorTicks);
    }
}

void CChartCtrl::ReplaceSeries(const QList<QPointF>& linePoints, const QList<QPointF>& pointPoints, double pointSize) {
    chartArea->removeSeries(line);
    chartArea->removeSeries(points);
    delete line;
    delete points;
    line = new QLineSeries(chartArea);
    MakePointsSeries(pointSize);
    line->replace(linePoints);
    points->replace(pointPoints);
    AttachSeries();
    if (bottomAutomatic) {
        FitBottomToSamples();
    }
}

void CChartCtrl::AttachSeries() {
    for (QXYSeries* series : {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(points)}) {
        chartArea->addSeries(series);
        series->attachAxis(bottomAxis);
        series->attachAxis(leftAxis);
    }
}

void CChartCtrl::FitBottomToSamples() {
    const QList<QPointF> samples = points->points();
    if (samples.isEmpty()) {
        return;
    }
    auto [low, high] = std::minmax_element(samples.begin(), samples.end(),
                                           [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    bottomAxis->setRange(low->x(), std::max(high->x(), low->x() + 1));
}
