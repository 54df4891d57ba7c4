#pragma once
// The histogram widget: a white intensity profile with two handles on a track below it that pick
// an interval, and optional green marker lines. State and rules live in morvex::HistogramModel;
// this class paints it and turns mouse events into calls.

#include <QWidget>

class QPainter;

#include "analysis/histogram_model.h"

class CHistogramView : public QWidget {
  Q_OBJECT

 public:
  explicit CHistogramView(QWidget* parent = nullptr);

  void setViewSize(int width, int height);
  void setInputMode(int mode) { model_.inputMode = mode; }
  int inputMode() const { return model_.inputMode; }
  void setPreset(int preset) { model_.preset = preset; }
  int preset() const { return model_.preset; }
  float lowValue() const { return model_.lowValue(); }
  float highValue() const { return model_.highValue(); }
  float rangeMin() const { return model_.rangeMin(); }
  float rangeMax() const { return model_.rangeMax(); }
  const morvex::HistogramModel& model() const { return model_; }

  // Move one handle (no signal, no repaint).
  void setLow(int value) { model_.setLow(value); }
  void setHigh(int value) { model_.setHigh(value); }
  // Both handles from (level, width) or (low, high); emits valueChanged and repaints.
  void setValues(int a, int b);
  void computeHistogram(const int16_t* image, int width, int height, bool repaint);
  void setHistogram(const int* table, int tableSize, int tableBase, int low, int high, bool repaint);
  void setAutoRange(const int16_t* image, int width, int height);
  void setMarkers(const int* values, int count);
  void resetView();
  // Emits valueChanged with the current handles.
  void emitValues();

 signals:
  void valueChanged(int nMinValue, int nMaxValue);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void drawAxis(QPainter& painter);

 private:
  morvex::HistogramModel model_;
  int viewHeight_ = 0;
};
