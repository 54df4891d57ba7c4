#pragma once
// The main window: owns the study and every view, and wires the widgets of its form to the
// operations of the program.

#include <QMainWindow>

#include "study/label_table.h"
#include "study/study.h"
#include "ui_morvex.h"

class Morvex : public QMainWindow {
  Q_OBJECT

 public:
  explicit Morvex(QWidget* parent = nullptr);
  ~Morvex() override;

  morvex::Study& study() { return study_; }
  const morvex::LabelTable& labelTable() const { return labelTable_; }
  Ui::MorvexClass& form() { return ui; }

 public slots:
  // Repaints every slice view (the image area while no slice is shown).
  void redrawAll();

 private:
  Ui::MorvexClass ui;
  morvex::Study study_;
  morvex::LabelTable labelTable_;
};
