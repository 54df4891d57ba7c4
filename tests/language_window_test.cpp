// The interface language: chosen from --lang, MORVEX_LANG and the system locale; in English no
// text of the window or of its messages holds Hangul, in Korean the design's texts appear exactly.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <dcmtk/dcmdata/dctk.h>

#include "app/borderless_main_window.h"
#include "app/language.h"
#include "tests/testing_support.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

// Every text the window can show: captions, titles, tabs, headers, items, actions and tooltips.
QStringList windowTexts(QWidget* top) {
  QStringList texts{top->windowTitle()};
  QList<QWidget*> widgets = top->findChildren<QWidget*>();
  widgets << top;
  for (QWidget* w : widgets) {
    texts << w->toolTip() << w->statusTip();
    if (auto* l = qobject_cast<QLabel*>(w)) texts << l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texts << b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) texts << g->title();
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
    if (auto* t = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) texts << t->tabText(i) << t->tabToolTip(i);
    if (auto* t = qobject_cast<QTreeWidget*>(w))
      for (int c = 0; c < t->columnCount(); ++c) texts << t->headerItem()->text(c);
    for (QAction* a : w->actions()) texts << a->text() << a->toolTip() << a->statusTip();
  }
  return texts;
}

const QRegularExpression kHangul(QStringLiteral("[\\x{AC00}-\\x{D7A3}\\x{1100}-\\x{11FF}\\x{3130}-\\x{318F}]"));

// The program's own messages for three refusals: no label chosen, no liver outline, a broken file.
QStringList refusals(Morvex& m) {
  QStringList warnings;
  morvex::setWarningInterceptor([&](const QString& text) { warnings << text; });
  morvex::testing::TempDir dir;
  // a slice of the synthetic series without Rows: its header is at fault
  DcmFileFormat file;
  EXPECT_TRUE(file.loadFile((morvex::testing::smallSyntheticSeries() + "/IM0012.dcm").c_str()).good());
  file.getDataset()->findAndDeleteElement(DCM_Rows);
  EXPECT_TRUE(file.saveFile(dir.file("broken.dcm").c_str(), EXS_LittleEndianExplicit).good());
  m.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries()), QString::fromStdString(dir.file("broken.dcm"))});
  m.setCurrentLabel(0);
  m.addObject(0);
  for (int f = 0; f < m.study().frameCount(); ++f) m.study().fillLabelImage(f, 0);
  m.liverSegmentation();
  morvex::setWarningInterceptor({});
  return warnings;
}

// Switches the application's language for one test; the widget tests run in Korean otherwise.
struct Language {
  explicit Language(const char* language) { EXPECT_TRUE(morvex::installLanguage(language)); }
  ~Language() { morvex::installLanguage("ko"); }
};

}  // namespace

TEST(Language, ChosenFromTheOptionTheEnvironmentAndTheLocale) {
  const QLocale korean(QLocale::Korean, QLocale::SouthKorea), german(QLocale::German);
  struct Case {
    const char* option;
    const char* environment;
    QLocale system;
    const char* expected;
  } cases[] = {{"", "", korean, "ko"},      {"", "", german, "en"},        {"en", "", korean, "en"},
               {"ko", "en", german, "ko"},  {"", "KO", german, "ko"},      {"fr", "", korean, "ko"},
               {"fr", "en", korean, "en"}};
  for (const Case& c : cases)
    EXPECT_EQ(morvex::chooseLanguage(c.option, c.environment, c.system), c.expected) << c.option << "/" << c.environment;
  QStringList args{"morvex", "--lang", "en", "a.dcm", "--lang=ko", "b"};
  EXPECT_EQ(morvex::takeLanguageOption(args), "ko") << "the last one wins";
  EXPECT_EQ(args, QStringList({"morvex", "a.dcm", "b"})) << "the option is no path to open";
  EXPECT_FALSE(morvex::installLanguage("fr"));
}

TEST(Language, InEnglishNoTextOfTheWindowOrItsMessagesHoldsHangul) {
  const Language english("en");
  BorderlessMainWindow window;
  Morvex& m = *window.mainWindowWidget();
  window.show();
  const QStringList texts = windowTexts(&window);
  EXPECT_TRUE(texts.contains("Right lobe"));
  EXPECT_TRUE(texts.contains("Initial seed tolerance"));
  for (const QString& text : texts) EXPECT_FALSE(text.contains(kHangul)) << text.toStdString();
  const QStringList warnings = refusals(m);
  ASSERT_EQ(warnings.size(), 3) << warnings.join(" | ").toStdString();
  EXPECT_EQ(warnings[0].split('\n').value(0), "Image load failed - the DICOM header has a problem.");
  EXPECT_EQ(warnings[1], "Please select a label first.");
  EXPECT_EQ(warnings[2], "Please outline the liver first.");
  for (const QString& text : warnings) EXPECT_FALSE(text.contains(kHangul)) << text.toStdString();
}

TEST(Language, InKoreanTheDesignsTextsAppearExactly) {
  const Language korean("ko");
  BorderlessMainWindow window;
  Morvex& m = *window.mainWindowWidget();
  Ui::MorvexClass& ui = m.form();
  const std::pair<QString, QString> shown[] = {
      {ui.radioButton_LiverAreaOption1->text(), "전체"},   {ui.radioButton_LiverAreaOption2->text(), "간우엽"},
      {ui.radioButton_LiverAreaOption3->text(), "간좌엽"}, {ui.label_12->text(), "초기 Seed Pixel 허용"},
      {ui.label_18->text(), "확장 Seed Pixel 허용"},       {ui.label_19->text(), "Seed 영역 축소 범위"},
      {ui.pushButton_Apply->text(), "Apply"},               {ui.label_liver->text(), "Default"}};
  for (const auto& [text, expected] : shown) EXPECT_EQ(text, expected);
  const QStringList warnings = refusals(m);
  ASSERT_EQ(warnings.size(), 3);
  EXPECT_EQ(warnings[0].split('\n').value(0), "Image load 실패 - DICOM Header에 문제가 있습니다.");
  EXPECT_EQ(warnings[1], "Label을 반드시 선택해주세요");
  EXPECT_EQ(warnings[2], "간 영역을 입력해주세요");
}
