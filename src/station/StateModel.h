#pragma once

#include <QString>

// The one-byte state code of an object, as the server reports it and as the
// station stores it in objects.State: its list icon, its text, its sound,
// whether it is an alarm and where it sorts.
namespace StateModel {

enum Image : int {
    NotConnectedImage = 0,
    DisarmedImage = 1,
    ArmedImage = 2,
    AlarmImage = 3,
    InProcessingImage = 4,
};

constexpr int NotConnected = 0;
constexpr int Disarmed = 1;
constexpr int Armed = 2;
// An operator has taken the alarm into processing.
constexpr int InProcessing = 90;
// Fresh alarms start here.
constexpr int FirstAlarm = 100;

// Sound_Name's answer for a code without a sound; Play_Sound never plays it.
inline const QString NoSound = QStringLiteral("0");

// The list icon, 0 to 4; any code outside the table (negative ones too) is 0.
int State_Image(int code);
// The alarm's text; empty for codes without one.
QString Event_Text(int code);
// The base name of the code's .wav file, or NoSound.
QString Sound_Name(quint8 code);
// 90 and above: selecting the object opens an alarm entry.
bool isAlarm(int code);

// A state text read from the database or the list as a number. Only an
// optional sign and decimal digits that fit an int count; anything else
// (empty, NULL, an IMEI left as placeholder, "0x10", " 2") is 0.
int stateCode(const QString &text);

// -1 when a goes first (its code is higher), 1 when b does, 0 when equal.
int Compare_States(int a, int b);
int Compare_States(const QString &a, const QString &b);

} // namespace StateModel
