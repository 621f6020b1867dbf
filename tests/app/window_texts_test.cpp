// Caption, folder and title texts, dialog filters and the screen fit.

#include <gtest/gtest.h>

#include "app/file_filter.h"
#include "app/main_window.h"
#include "app/window_texts.h"

namespace quinterra {
namespace {

TEST(CaptionFromBuildDate, TurnsTheCompilerDateIntoYearMonthDay) {
  EXPECT_EQ(CaptionFromBuildDate("May 18 2011"), "Quinterra v4.3.11.5.18");
  // A one-digit day comes with a second space; no leading zeros anywhere.
  EXPECT_EQ(CaptionFromBuildDate("Jan  1 2012"), "Quinterra v4.3.12.1.1");
  EXPECT_EQ(CaptionFromBuildDate("Dec 31 2009"), "Quinterra v4.3.9.12.31");
  EXPECT_EQ(CaptionFromBuildDate("Oct  5 2100"), "Quinterra v4.3.0.10.5");
}

TEST(CaptionFromBuildDate, AnUnreadableDateGivesTheBareVersion) {
  for (const char* text : {"", "Foo 18 2011", "May 2011", "May 18 2011 x", "May 1x 2011",
                           "may 18 2011", "May 0 2011", "May 123 2011"})
    EXPECT_EQ(CaptionFromBuildDate(text), "Quinterra v4.3") << '"' << text << '"';
}

TEST(FileTitle, SameTitleForWindowsAndLinuxNames) {
  EXPECT_EQ(FileTitle("C:\\x\\doc.ltr"), "doc.ltr");
  EXPECT_EQ(FileTitle("/x/doc.ltr"), "doc.ltr");
  EXPECT_EQ(FileTitle("C:\\x/y\\doc.ltr"), "doc.ltr");
  EXPECT_EQ(FileTitle("doc.ltr"), "doc.ltr");
  EXPECT_EQ(FileTitle("/x/"), "");
}

TEST(DocumentCaption, NewAndNamedDocuments) {
  EXPECT_EQ(DocumentCaption("Q", ""), "Q - Nuevo");
  EXPECT_EQ(DocumentCaption("Q", "C:\\x\\18-05-2011.ltr"), "Q - 18-05-2011");
  EXPECT_EQ(DocumentCaption("Q", "/x/18-05-2011.ltr"), "Q - 18-05-2011");
  EXPECT_EQ(DocumentCaption("Q", "/x/SORTEO.LTR"), "Q - SORTEO");
  // Files opened through "Todos los archivos" keep their whole title.
  EXPECT_EQ(DocumentCaption("Q", "/x/notas"), "Q - notas");
  EXPECT_EQ(DocumentCaption("Q", "/x/notas.txt"), "Q - notas.txt");
}

TEST(QtNameFilters, ConvertsTheDialogFilters) {
  EXPECT_EQ(QtNameFilters(QString::fromUtf8("Archivos de lotería (*.ltr)|*.ltr|Todos los archivos|*.*")),
            QString::fromUtf8("Archivos de lotería (*.ltr);;Todos los archivos (*)"));
  EXPECT_EQ(QtNameFilters(QString::fromUtf8("Archivos de lotería (*.ltr)|*.ltr")),
            QString::fromUtf8("Archivos de lotería (*.ltr)"));
  EXPECT_EQ(QtNameFilters("Textos|*.txt;*.log"), "Textos (*.txt *.log)");
  EXPECT_EQ(QtNameFilters("Todo (*.*)|*.*"), "Todo (*)");
}

TEST(FitWindowToScreen, ShrinksOnlyTheSidesThatDoNotFit) {
  EXPECT_EQ(FitWindowToScreen(QSize(1140, 865), QSize(1024, 768)), QSize(992, 736));
  EXPECT_EQ(FitWindowToScreen(QSize(1140, 865), QSize(1024, 900)), QSize(992, 865));
  EXPECT_EQ(FitWindowToScreen(QSize(1140, 865), QSize(1920, 1080)), QSize(1140, 865));
}

}  // namespace
}  // namespace quinterra
