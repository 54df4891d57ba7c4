#pragma once
// The resection plan panel: the series' named plans (add, rename in place, delete, undo), the key
// lines and the side to remove, the remnant and margin thresholds, the figures and warnings of
// the active plan, and the PDF report. It only shows what it is given and reports what the user
// did; the main window owns the plans.

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class PlanPanel : public QWidget {
  Q_OBJECT

 public:
  explicit PlanPanel(QWidget* parent = nullptr);

  // The plan names and the active one (-1 none); emits nothing.
  void setPlans(const QStringList& names, int active);
  void setThresholds(double remnantPercent, double marginMm);
  void setFigures(const QStringList& lines, const QStringList& warnings);
  void setSidePending(bool pending);
  void setUndoAvailable(bool available);
  void setPlaneTool(bool on);

  QListWidget* list() const { return list_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* undoButton() const { return undo_; }
  QPushButton* keyLinesButton() const { return keyLines_; }
  QPushButton* sideButton() const { return side_; }
  QPushButton* planeButton() const { return plane_; }
  QPushButton* reportButton() const { return report_; }
  QCheckBox* identityBox() const { return identity_; }
  QComboBox* liverCondition() const { return condition_; }
  QDoubleSpinBox* remnantThreshold() const { return remnant_; }
  QDoubleSpinBox* marginThreshold() const { return margin_; }
  QLabel* figuresLabel() const { return figures_; }
  QLabel* warningsLabel() const { return warnings_; }

 signals:
  void addRequested();
  void renameRequested(int index, const QString& name);
  void deleteRequested(int index);
  void undoRequested();
  void activated(int index);
  void keyLinesRequested();
  void sideRequested();
  void planeToolToggled(bool on);
  void thresholdsChanged(double remnantPercent, double marginMm);
  void reportRequested(bool showIdentity);

 private:
  void itemEdited(QListWidgetItem* item);

  QListWidget* list_;
  QPushButton *add_, *delete_, *undo_, *keyLines_, *plane_, *side_, *report_;
  QCheckBox* identity_;
  QComboBox* condition_;
  QDoubleSpinBox *remnant_, *margin_;
  QLabel *figures_, *warnings_;
  bool updating_ = false;
};
