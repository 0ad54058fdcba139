// Message boxes: the Yes/No box that the operator answers, with Yes the
// default, and the stand-in operator that tests put in a person's place.
#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "DialogResults.h"
#include "MessageBox.h"

namespace {

constexpr int kLookMs = 10;  // how often the operator looks for the box

// Acts on the box as soon as it is up, as the operator would.
int ShowAndThen(UINT type, std::function<void(QMessageBox&)> operatorAction) {
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            look.stop();
            operatorAction(*box);
        }
    });
    look.start(kLookMs);
    return AfxMessageBox("Записать обновление?", type);
}

TEST(YesNoBox, YesIsTheDefaultAndEscapeIsNo) {
    EXPECT_EQ(ShowAndThen(MB_YESNO,
                          [](QMessageBox& box) {
                              EXPECT_EQ(box.defaultButton()->text(), "Да");
                              box.defaultButton()->click();
                          }),
              IDYES);
    EXPECT_EQ(ShowAndThen(MB_YESNO,
                          [](QMessageBox& box) {
                              EXPECT_EQ(box.escapeButton()->text(), "Нет");
                              box.escapeButton()->click();
                          }),
              IDNO);
    EXPECT_EQ(ShowAndThen(MB_OK, [](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); }),
              IDOK);
}

TEST(YesNoBox, TheStandInOperatorSaysYesUnlessToldOtherwise) {
    MessageBoxOperator person;
    EXPECT_EQ(AfxMessageBox("?", MB_YESNO), IDYES);
    EXPECT_EQ(AfxMessageBox("!", MB_OK), IDOK);
    person.SetYesNoAnswer(IDNO);
    EXPECT_EQ(AfxMessageBox("?", MB_YESNO | MB_ICONINFORMATION), IDNO);
    ASSERT_THAT(person.Shown(), ::testing::SizeIs(3));
    EXPECT_EQ(person.Shown()[2].type, MB_YESNO | MB_ICONINFORMATION);
}

}  // namespace
