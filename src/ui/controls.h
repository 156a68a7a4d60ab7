// MainWindow's number and its twelve controls, with their initial texts.
// Every other file names controls through these constants.
#pragma once

namespace ui {

inline constexpr int MainWindow = 0;

inline constexpr int LabelPause = 0;
inline constexpr int FieldPause = 1;
inline constexpr int FieldPulse = 2;
inline constexpr int ButtonStart = 3;
inline constexpr int ButtonStop = 4;
inline constexpr int LabelPulse = 5;
inline constexpr int LabelSize = 6;
inline constexpr int FieldSize = 7;
inline constexpr int LabelRate = 8;
inline constexpr int FieldRate = 9;
inline constexpr int CheckLoop = 10;
inline constexpr int LabelFrequency = 11;
inline constexpr int ControlCount = 12;

// Client area of MainWindow, in pixels.
inline constexpr int ClientWidth = 300;
inline constexpr int ClientHeight = 150;

// Initial field texts; they are also the defaults of a run.
inline constexpr const char* InitialPauseText = "1000";  // µs
inline constexpr const char* InitialPulseText = "1000";  // µs
inline constexpr const char* InitialSizeText = "1000";   // ms
inline constexpr const char* InitialRateText = "44100";  // Hz

}  // namespace ui
