#pragma once
// The main window: owns the study and every view, and wires the widgets of its form to the
// operations of the program. Slot definitions are split by concern (morvex_import.cpp, ...).

#include <QMainWindow>
#include <QStringList>

#include "analysis/area_statistics.h"
#include "study/label_table.h"
#include "study/study.h"
#include "ui_morvex.h"

class QProgressBar;
class QTreeWidgetItem;

class Morvex : public QMainWindow {
  Q_OBJECT

 public:
  explicit Morvex(QWidget* parent = nullptr);
  ~Morvex() override;

  morvex::Study& study() { return study_; }
  const morvex::LabelTable& labelTable() const { return labelTable_; }
  Ui::MorvexClass& form() { return ui; }
  QProgressBar* progressBar() const { return progressBar_; }
  const morvex::AreaStatistics& areaStatistics() const { return areaStatistics_; }
  const morvex::AreaStatistics& selectedAreaStatistics() const { return selectedAreaStatistics_; }
  int currentFrame() const { return currentFrame_; }

  // Files and folders named on the command line or dropped on the window: folders contribute
  // every file below them; slices are imported first, then the masks are loaded onto them.
  void openPaths(const QStringList& paths);

 public slots:
  // Repaints every slice view (the image area while no slice is shown).
  void redrawAll();

  void readDICOM();
  void readDICOM(QStringList fileList);
  void readMask();
  void readMask(QStringList fileList);
  void addFileDirectoryItem(const char* ucPatientNum, const char* ucDate, int nInstanceNumber, int nFrameIdx);
  void showImage(QTreeWidgetItem* item, int column);
  void showImage(int nFrameIdx);
  void selectedFrame(int nFrameIdx);
  void deleteDICOMAll();
  void showDICOMInfo(int nFrameIdx);

  // Label clean-up and body segmentation of the current frame.
  void deNoiseObject();
  void reLabeling(int nFrameIdx, unsigned char* pucBeforeLabelImage, unsigned char* pucAfterLabelImage);
  void bodySegmentation();

  // Region statistics: the labels (or the working selection) of a series; -1 is the current series.
  void calcGroupAreaStatistic(int nGroupIdx);
  void calcGroupSelectedAreaStatistic(int nGroupIdx);
  void reCalcRegionGroup();
  void reCalcRegionGroup(int nGroupIdx);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void setupActions();
  void setupToolButtonPictures();
  void connectSignals();
  void beginProgress();
  void setProgress(int percent);
  void endProgress();
  void renumberFileTree();
  void resetStatistics();
  // Both slice-range boxes span the instance numbers of the series.
  void setSliceRange(int nGroupIdx);
  QTreeWidgetItem* patientItem(const QString& patientName) const;

  Ui::MorvexClass ui;
  morvex::Study study_;
  morvex::LabelTable labelTable_;
  QProgressBar* progressBar_ = nullptr;
  QString defaultDirectory_;
  morvex::AreaStatistics areaStatistics_{morvex::defaultLabelTable().size()};
  morvex::AreaStatistics selectedAreaStatistics_{1};
  morvex::SeriesStatistics seriesStatistics_;
  morvex::SeriesStatistics selectionStatistics_;
  int currentFrame_ = -1;
  int previousFrame_ = -1;
};
