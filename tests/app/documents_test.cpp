// Documents, the save prompts, the caption and config.ini.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMenu>
#include <random>

#include "panels/document.h"
#include "window_fixture.h"

namespace quinterra {
namespace {

const std::string kBase = "Quinterra v4.3.11.5.18";
const QString kSaveAll = QString::fromUtf8("¿Guardar los cambios?");

std::string EmptyDocument() { return std::string(133, ',') + "\r\n"; }

class Documents : public WindowTest {
 protected:
  // A document on disk whose cell 0 holds text.
  std::string MakeDocument(const std::string& name, const std::string& text) {
    const std::string path = InFolder(name);
    WriteFile(path, text + std::string(133, ',') + "\r\n");
    return path;
  }
  // The operator types into cell 1 and leaves it: a real change.
  void Edit(const std::string& value) {
    form->SetResultsActive(true);
    form->SelectCell(&Cell(1));
    form->Edit1->setText(QString::fromStdString(value));
    form->SelectCell(nullptr);
    ASSERT_TRUE(form->Modified);
  }
};

TEST_F(Documents, CaptionFollowsTheDocument) {
  MakeForm();
  EXPECT_EQ(Caption(), kBase + " - Nuevo");
  ASSERT_TRUE(form->SaveDocument(InFolder("sorteo.ltr")));
  EXPECT_EQ(Caption(), kBase + " - sorteo");
  EXPECT_EQ(form->DocumentName, InFolder("sorteo.ltr"));
  form->Nuevo1Click();
  EXPECT_EQ(Caption(), kBase + " - Nuevo");
  EXPECT_TRUE(form->DocumentName.empty());
}

TEST_F(Documents, SavingWritesOneLineOfAllCellsAndEndsEditing) {
  MakeForm();
  form->SetResultsActive(true);
  form->SelectCell(&Cell(0));
  form->Edit1->setText("12");
  // Still being typed when saved: the value passes its check and is kept.
  ASSERT_TRUE(form->SaveDocument(InFolder("a.ltr")));
  EXPECT_EQ(ReadFile(InFolder("a.ltr")), "12" + EmptyDocument());
  EXPECT_FALSE(form->Edit1->isVisible());
  EXPECT_FALSE(form->Modified);
  // A value out of range is emptied before saving.
  form->SelectCell(&Cell(0));
  form->Edit1->setText("32");
  ASSERT_TRUE(form->SaveDocument(InFolder("a.ltr")));
  EXPECT_EQ(ReadFile(InFolder("a.ltr")), EmptyDocument());
}

TEST_F(Documents, LoadingGivesItemsToCellsAndEmptiesTheRestSayingSo) {
  MakeForm();
  Cell(5).Text = "7";
  Cell(133).Text = "99";
  const std::string path = InFolder("partial.ltr");
  WriteFile(path, "1,\"a b\",,4\r\nsecond,line\r\n");
  form->Modified = true;
  ASSERT_TRUE(form->LoadDocument(path));
  EXPECT_EQ(Cell(0).Text, "1");
  EXPECT_EQ(Cell(1).Text, "a b");
  EXPECT_EQ(Cell(2).Text, "");
  EXPECT_EQ(Cell(3).Text, "4");
  EXPECT_EQ(Cell(5).Text, "") << "nothing of the previous document stays";
  EXPECT_EQ(Cell(133).Text, "");
  ASSERT_EQ(dialogs.infos.size(), 1u);
  EXPECT_EQ(dialogs.infos[0].caption, "AVISO");
  EXPECT_EQ(dialogs.infos[0].text,
            QString::fromUtf8("El documento tiene 4 de 134 casillas; las demás quedan vacías"));
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(Caption(), kBase + " - partial");
  // "Guardar" writes the document and nothing else; the spaced text goes
  // back in quotes and comes back whole.
  form->Guardar1Click();
  EXPECT_EQ(ReadFile(path), "1,\"a b\",,4" + std::string(130, ',') + "\r\n");
  // A whole document says nothing.
  ASSERT_TRUE(form->LoadDocument(MakeDocument("entero.ltr", "3")));
  EXPECT_EQ(dialogs.infos.size(), 1u);
}

TEST_F(Documents, AFileWithAnEmptyFirstLineBecomesAnEmptyDocument) {
  MakeForm();
  Cell(0).Text = "5";
  WriteFile(InFolder("empty.ltr"), "\r\n1,2,3\r\n");
  ASSERT_TRUE(form->LoadDocument(InFolder("empty.ltr")));
  EXPECT_EQ(form->CellSet.Texts(), std::vector<std::string>(kCellCount));
  EXPECT_EQ(form->DocumentName, InFolder("empty.ltr"));
  EXPECT_EQ(Caption(), kBase + " - empty");
  ASSERT_EQ(dialogs.infos.size(), 1u);
  EXPECT_EQ(dialogs.infos[0].text,
            QString::fromUtf8("El documento tiene 0 de 134 casillas; las demás quedan vacías"));
  // A name that does not exist does nothing at all.
  Cell(0).Text = "6";
  EXPECT_FALSE(form->LoadDocument(InFolder("missing.ltr")));
  EXPECT_EQ(form->DocumentName, InFolder("empty.ltr"));
  EXPECT_EQ(Cell(0).Text, "6");
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(dialogs.infos.size(), 1u);
}

TEST_F(Documents, UnnamedChangesAskAndEachAnswerIsHonoured) {
  MakeForm();
  // Cancel: "Nuevo" stops, the changes stay.
  Edit("12");
  dialogs.answers = {DialogAnswer::Cancel};
  form->Nuevo1Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].caption, "AVISO");
  EXPECT_EQ(dialogs.questions[0].text, kSaveAll);
  EXPECT_EQ(Cell(1).Text, "12");
  EXPECT_TRUE(form->Modified);
  // No: the changes are dropped.
  dialogs.answers = {DialogAnswer::No};
  form->Nuevo1Click();
  EXPECT_EQ(Cell(1).Text, "");
  EXPECT_FALSE(form->Modified);
  // Yes, then a name: saved first, then the new document.
  Edit("14");
  dialogs.answers = {DialogAnswer::Yes};
  dialogs.save_answers = {QString::fromStdString(InFolder("kept.ltr"))};
  form->Nuevo1Click();
  EXPECT_EQ(ReadFile(InFolder("kept.ltr")), ",14" + std::string(132, ',') + "\r\n");
  EXPECT_EQ(Cell(1).Text, "");
  EXPECT_EQ(Caption(), kBase + " - Nuevo");
}

// "Yes" promises the changes a file: when none is written (the save dialog
// cancelled, or the file cannot be written), "Nuevo", "Abrir" and closing
// stop as they do on Cancel.
TEST_F(Documents, YesWithoutASavedFileStopsNewOpenAndClose) {
  const std::string other = MakeDocument("otro.ltr", "9");
  const std::optional<QString> unsaved[] = {std::nullopt,
                                            QString::fromStdString(InFolder("no-such-folder/doc.ltr"))};
  enum class Operation { New, Open, Close };
  ShowForm();
  Edit("12");
  for (const std::optional<QString>& save_answer : unsaved) {
    for (Operation operation : {Operation::New, Operation::Open, Operation::Close}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(operation)) +
                   (save_answer ? " with a failing save" : " with the save dialog cancelled"));
      dialogs.errors.clear();
      dialogs.answers = {DialogAnswer::Yes};
      dialogs.save_answers = {save_answer};
      switch (operation) {
        case Operation::New:
          form->Nuevo1Click();
          break;
        case Operation::Open:
          dialogs.open_answers = {QString::fromStdString(other)};
          form->Abrir1Click();
          break;
        case Operation::Close:
          EXPECT_FALSE(form->close());
          EXPECT_TRUE(form->isVisible());
          EXPECT_FALSE(QFile::exists(QString::fromStdString(InFolder("config.ini"))));
          break;
      }
      EXPECT_TRUE(dialogs.answers.empty() && dialogs.save_answers.empty());
      EXPECT_EQ(dialogs.errors.size(), save_answer ? 1u : 0u);
      EXPECT_EQ(Cell(1).Text, "12") << "the changes survive";
      EXPECT_EQ(Cell(0).Text, "");
      EXPECT_TRUE(form->Modified);
      EXPECT_TRUE(form->DocumentName.empty());
      EXPECT_EQ(Caption(), kBase + " - Nuevo");
    }
  }
}

TEST_F(Documents, NamedChangesAskWithTheFileTitle) {
  const std::string path = MakeDocument("lunes.ltr", "1");
  MakeForm();
  ASSERT_TRUE(form->LoadDocument(path));
  Edit("12");
  dialogs.answers = {DialogAnswer::Cancel};
  EXPECT_FALSE(form->AskSaveChanges());
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, QString::fromUtf8("¿Guardar cambios en lunes.ltr?"));
  EXPECT_EQ(ReadFile(path), "1" + EmptyDocument());

  dialogs.answers = {DialogAnswer::No};
  EXPECT_TRUE(form->AskSaveChanges());
  EXPECT_EQ(ReadFile(path), "1" + EmptyDocument());

  dialogs.answers = {DialogAnswer::Yes};
  EXPECT_TRUE(form->AskSaveChanges());
  EXPECT_EQ(ReadFile(path), "1,12" + std::string(132, ',') + "\r\n");
  EXPECT_FALSE(form->Modified);
  // Unchanged now: no question at all.
  EXPECT_TRUE(form->AskSaveChanges());
  EXPECT_EQ(dialogs.questions.size(), 3u);
}

TEST_F(Documents, AutomaticSavingSavesNamedDocumentsWithoutAsking) {
  const std::string path = MakeDocument("auto.ltr", "");
  MakeForm();
  form->Guardadoautomtico1Click();
  ASSERT_TRUE(form->Guardadoautomtico1->isChecked());
  ASSERT_TRUE(form->LoadDocument(path));
  Edit("21");
  EXPECT_TRUE(form->FormClose());
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(ReadFile(path), ",21" + std::string(132, ',') + "\r\n");

  // An unnamed document still asks.
  form->Nuevo1Click();
  Edit("22");
  dialogs.answers = {DialogAnswer::Cancel};
  EXPECT_FALSE(form->FormClose());
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, kSaveAll);
}

TEST_F(Documents, OpeningAsksOnlyAfterAFileIsPicked) {
  const std::string other = MakeDocument("otro.ltr", "9");
  MakeForm();
  Edit("12");
  // Dialog cancelled: no question, nothing changes.
  dialogs.open_answers = {std::nullopt};
  form->Abrir1Click();
  EXPECT_TRUE(dialogs.questions.empty());
  ASSERT_EQ(dialogs.open_filters.size(), 1u);
  EXPECT_EQ(dialogs.open_filters[0],
            QString::fromUtf8("Archivos de lotería (*.ltr);;Todos los archivos (*)"));
  // Cancel in the prompt keeps the current document.
  dialogs.open_answers = {QString::fromStdString(other)};
  dialogs.answers = {DialogAnswer::Cancel};
  form->Abrir1Click();
  EXPECT_EQ(Cell(1).Text, "12");
  EXPECT_EQ(Caption(), kBase + " - Nuevo");
  // No: the picked file is opened.
  dialogs.open_answers = {QString::fromStdString(other)};
  dialogs.answers = {DialogAnswer::No};
  form->Abrir1Click();
  EXPECT_EQ(Cell(0).Text, "9");
  EXPECT_EQ(Cell(1).Text, "");
  EXPECT_EQ(Caption(), kBase + " - otro");
}

TEST_F(Documents, SaveAsOffersTodaysDateAndSaveUsesTheName) {
  MakeForm();
  const QString before = TodayForFileName();
  dialogs.save_answers = {std::nullopt};
  form->Guardar1Click();  // unnamed: runs "Guardar como..."
  ASSERT_EQ(dialogs.save_requests.size(), 1u);
  const QString preset = dialogs.save_requests[0].preset;
  EXPECT_TRUE(preset == before || preset == TodayForFileName());
  EXPECT_TRUE(QRegularExpression("^\\d\\d-\\d\\d-\\d\\d\\d\\d$").match(preset).hasMatch()) << preset.toStdString();
  EXPECT_EQ(dialogs.save_requests[0].filters, QString::fromUtf8("Archivos de lotería (*.ltr)"));
  EXPECT_EQ(dialogs.save_requests[0].suffix, "ltr");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(InFolder(preset.toStdString() + ".ltr"))));

  dialogs.save_answers = {QString::fromStdString(InFolder("b.ltr"))};
  form->Guardarcomo1Click();
  EXPECT_EQ(form->DocumentName, InFolder("b.ltr"));
  Edit("3");
  form->Guardar1Click();  // named: no dialog
  EXPECT_EQ(dialogs.save_requests.size(), 2u);
  EXPECT_EQ(ReadFile(InFolder("b.ltr")), ",3" + std::string(132, ',') + "\r\n");
}

TEST_F(Documents, AFailingSaveKeepsNameCaptionModifiedAndThePreviousFile) {
  const std::string path = MakeDocument("bueno.ltr", "1");
  MakeForm();
  ASSERT_TRUE(form->LoadDocument(path));
  Edit("12");
  const std::string folder_path = InFolder("carpeta.ltr");
  ASSERT_TRUE(QDir().mkdir(QString::fromStdString(folder_path)));
  const std::pair<std::string, const char*> failures[] = {
      {InFolder("no-such-folder/x.ltr"), "No existe el archivo o el directorio"},
      {folder_path, "Es un directorio"}};
  for (const auto& [target, reason] : failures) {
    dialogs.errors.clear();
    dialogs.save_answers = {QString::fromStdString(target)};
    form->Guardarcomo1Click();
    ASSERT_EQ(dialogs.errors.size(), 1u) << target;
    // The operator reads it all in Spanish, the reason included.
    EXPECT_EQ(dialogs.errors[0].toStdString(),
              "No se puede escribir el archivo \"" + target + "\": " + reason);
    EXPECT_EQ(form->DocumentName, path);
    EXPECT_EQ(Caption(), kBase + " - bueno");
    EXPECT_TRUE(form->Modified);
    EXPECT_EQ(ReadFile(path), "1" + EmptyDocument());
  }
  EXPECT_TRUE(QFileInfo(QString::fromStdString(folder_path)).isDir());
}

TEST_F(Documents, ClosingWritesTheSettingsInOrderAndLeavesOtherSectionsAlone) {
  WriteFile(InFolder("config.ini"), "[Otro]\r\nclave = valor \r\n");
  MakeForm();
  ASSERT_TRUE(form->SaveDocument(InFolder("cierre.ltr")));
  form->Guardadoautomtico1Click();
  form->PanelBotes1Click();
  EXPECT_TRUE(form->VerificarAlEnviar1->isChecked());  // on unless config.ini says 0
  form->VerificarAlEnviar1->trigger();
  ASSERT_TRUE(form->FormClose());
  const std::string ini = ReadFile(InFolder("config.ini"));
  EXPECT_EQ(ini, "[Otro]\r\nclave = valor \r\n[Config]\r\nFileName=" + InFolder("cierre.ltr") +
                     "\r\nGuardado=1\r\nPanelResultados=0\r\nPanelBotes=1\r\nVerificar=0\r\n");
}

TEST_F(Documents, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses) {
  ASSERT_TRUE(QDir().mkdir(QString::fromStdString(InFolder("config.ini"))));
  MakeForm();
  EXPECT_TRUE(form->FormClose());
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_NE(dialogs.errors[0].indexOf("config.ini"), -1);
}

TEST_F(Documents, StartUpReopensTheLastDocumentAndReadsAutomaticSaving) {
  const std::string path = MakeDocument("ultimo.ltr", "8");
  WriteFile(InFolder("config.ini"),
            "[Config]\r\nFileName=" + path + "\r\nGuardado=1\r\nPanelResultados=1\r\n");
  MakeForm();
  EXPECT_EQ(Cell(0).Text, "8");
  EXPECT_EQ(form->DocumentName, path);
  EXPECT_EQ(Caption(), kBase + " - ultimo");
  EXPECT_TRUE(form->Guardadoautomtico1->isChecked());
  EXPECT_FALSE(form->Modified);
  // The "Actualizar" ticks come back when the window is shown.
  EXPECT_FALSE(form->PanelResultados1->isChecked());
  form->FormShow();
  EXPECT_TRUE(form->PanelResultados1->isChecked());
  EXPECT_FALSE(form->PanelBotes1->isChecked());
}

TEST_F(Documents, AShortLastDocumentIsReopenedAloneAndToldOverThePaintedWindow) {
  const std::string path = InFolder("corto.ltr");
  WriteFile(path, "8,9\r\n");
  WriteFile(InFolder("config.ini"), "[Config]\r\nFileName=" + path + "\r\n");
  MakeForm();
  EXPECT_EQ(Cell(0).Text, "8");
  EXPECT_EQ(Cell(2).Text, "");
  EXPECT_EQ(Caption(), kBase + " - corto");
  EXPECT_TRUE(dialogs.infos.empty()) << "no box before the window is there";
  form->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.infos.empty(); }));
  ASSERT_EQ(dialogs.infos.size(), 1u);
  EXPECT_EQ(dialogs.infos[0].text,
            QString::fromUtf8("El documento tiene 2 de 134 casillas; las demás quedan vacías"));
  // Shown again (after minimising): nothing more.
  form->hide();
  form->show();
  QTest::qWait(50);
  EXPECT_EQ(dialogs.infos.size(), 1u);
}

TEST_F(Documents, AMissingLastDocumentIsSkippedSilently) {
  for (const char* guardado : {"2", "x", "1"}) {
    WriteFile(InFolder("config.ini"), "[Config]\r\nFileName=" + InFolder("borrado.ltr") +
                                          "\r\nGuardado=" + guardado + "\r\n");
    MakeForm();
    EXPECT_EQ(Caption(), kBase + " - Nuevo");
    EXPECT_TRUE(form->DocumentName.empty());
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(form->Guardadoautomtico1->isChecked(), std::string(guardado) == "1") << guardado;
  }
}

TEST_F(Documents, ClosingAfterOnlyTabbingAsksToSave) {
  MakeForm();
  form->SetResultsActive(true);
  form->FormKeyUp(Qt::Key_Tab, Qt::NoModifier);
  form->FormKeyUp(Qt::Key_Tab, Qt::NoModifier);
  dialogs.answers = {DialogAnswer::Cancel};
  EXPECT_FALSE(form->FormClose());
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(InFolder("config.ini"))))
      << "a refused close writes no settings";
}

TEST_F(Documents, GarbageDocumentsAndSettingsOpenWithoutHarm) {
  std::mt19937 random(20110518);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 20; ++round) {
    std::string garbage(1 + round * 97, '\0');
    for (char& c : garbage) c = static_cast<char>(byte(random));
    if (round % 3 == 0) garbage.insert(garbage.size() / 2, "\"unclosed");
    WriteFile(InFolder("basura.ltr"), garbage);
    WriteFile(InFolder("config.ini"), garbage);
    MakeForm();
    ASSERT_TRUE(form->LoadDocument(InFolder("basura.ltr")));
    EXPECT_EQ(Caption(), kBase + " - basura");
    // Every cell can be picked, edited and left with whatever it holds.
    form->SetResultsActive(true);
    form->SetJackpotsActive(true);
    for (int i = 0; i < kCellCount; ++i) form->FormKeyUp(Qt::Key_Tab, Qt::NoModifier);
    form->FormKeyUp(Qt::Key_Return, Qt::NoModifier);
    // What is saved reads back as the same texts.
    const std::vector<std::string> texts = form->CellSet.Texts();
    ASSERT_TRUE(form->SaveDocument(InFolder("limpio.ltr")));
    std::vector<std::string> reread = ParseDocument(ReadFile(InFolder("limpio.ltr")));
    reread.resize(kCellCount);
    EXPECT_EQ(reread, texts) << "round " << round;
  }
}

}  // namespace
}  // namespace quinterra
