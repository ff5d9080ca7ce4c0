#pragma once

#include <QDialog>
#include <QLocale>
#include <vector>

#include "graph/Annotations.h"

class QPushButton;
class QTableWidget;

namespace kl516 {

// "Erase Annotation": the window's annotations as rows (NO, Time, Contents), any number of them
// selected, and Delete (enabled once a row is listed) or Cancel. Stays on top, centred on the
// screen.
class EraseAnnotationsDialog : public QDialog {
    Q_OBJECT
  public:
    EraseAnnotationsDialog(const std::vector<AnnotationRow>& rows, const QLocale& locale,
                           QWidget* parent = nullptr);

    // The table indexes of the annotations on the selected rows, top to bottom.
    std::vector<int> selectedAnnotations() const;

    QTableWidget* annotationTable;
    QPushButton *acceptButton, *cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::vector<AnnotationRow> rows_;
};

}  // namespace kl516
