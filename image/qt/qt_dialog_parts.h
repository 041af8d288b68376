#pragma once
#include <QString>
#include <functional>

class QDialog;
class QDialogButtonBox;
class QGridLayout;
class QLineEdit;
class QScrollBar;

namespace qlm {

// Building blocks of the processing dialogs. Every control gets its text as object name so that
// tests can find it.

// A labelled number field in row `row` (label in column 0, field in column 1).
QLineEdit* addNumberField(QDialog* dialog, QGridLayout* layout, int row, const QString& label,
                          bool read_only);
// A horizontal scroll bar lo-hi with line steps of 1 in row `row`, column 2.
QScrollBar* addScrollBar(QDialog* dialog, QGridLayout* layout, int row, const QString& name, int lo, int hi);
// The OK (or `ok_text`), Cancel and, when `help` is given, Help buttons across row `row`. OK runs
// `ok` (which accepts the dialog when it wants it closed); Cancel rejects; Help runs `help`.
QDialogButtonBox* addButtons(QDialog* dialog, QGridLayout* layout, int row, const QString& ok_text,
                             std::function<void()> ok, std::function<void()> help);

}  // namespace qlm
