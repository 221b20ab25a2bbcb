#pragma once
// The masked edits that show frame addresses: minute:second:frame ("mm:ss:ff", no 150
// offset) and seven-digit decimal. Reading takes the text as shown, blanks included, so
// that the fields keep their positions.
#include <QString>
#include <cstdint>

class QLineEdit;
class QWidget;

QLineEdit* NewMsfEdit(QWidget* parent);
QLineEdit* NewFramesEdit(QWidget* parent);

// Minute, second and frame at positions 1, 4 and 7; a part that is no number reads 0, a
// second above 59 reads 59 and a frame above 74 reads 74.
int64_t MsfTextToFrames(const QString& text);
// Decimal frame address left-padded with '0' to seven digits (longer numbers whole).
QString PaddedFramesText(int64_t frames);
QString MsfText(int64_t frames);

// Shows `text` unless the edit shows it already: setting the same text again would move
// the cursor while the user types.
void ShowEditText(QLineEdit* edit, const QString& text);
