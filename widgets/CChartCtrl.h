#pragma once

#include <QChartView>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QValueAxis>

// A chart with a title, a left value axis, a bottom sample axis, one line series and one points
// series. The bottom axis is either automatic (it follows the data) or manual (a fixed range); it
// counts samples, so its ticks sit on whole numbers from the start. The points series draws an image
// at each point and no line: a history of many thousand points draws in one pass, where a scatter
// series would make a scene item of every point. User-interface thread only.
class CChartCtrl : public QChartView {
public:
    explicit CChartCtrl(QWidget* parent);

    void SetTitle(const QString& title);
    QString Title() const;

    void SetLeftRange(double minimum, double maximum);
    void SetBottomRange(double minimum, double maximum);
    // Automatic: the axis spans the plotted samples; manual keeps the range it has now.
    void SetBottomAutomatic(bool automatic);
    bool BottomAutomatic() const { return bottomAutomatic; }
    // Ticks every `step` samples; where their labels would collide, every smallest multiple of 1, 2 or
    // 5 times a power of ten that keeps them apart, with the skipped ticks drawn as minor ticks.
    void SetBottomTickStep(double step);
    // The distance between labelled ticks on the bottom axis, in samples.
    double BottomLabelStep() const { return bottomAxis->tickInterval(); }

    // Replaces both series by new ones holding these points, each refilled with one replace().
    void ReplaceSeries(const QList<QPointF>& line, const QList<QPointF>& points, double pointSize);

    QValueAxis& LeftAxis() const { return *leftAxis; }
    QValueAxis& BottomAxis() const { return *bottomAxis; }
    QLineSeries& Line() const { return *line; }
    QLineSeries& Points() const { return *points; }

private:
    void AttachSeries();
    void MakePointsSeries(double pointSize);
    void FitBottomToSamples();
    void SpaceBottomLabels();

    QChart* chartArea;
    QValueAxis* leftAxis;
    QValueAxis* bottomAxis;
    QLineSeries* line = nullptr;
    QLineSeries* points = nullptr;
    bool bottomAutomatic = false;
    double bottomTickStep = 0;  // 0 while the axis places its own ticks
};
