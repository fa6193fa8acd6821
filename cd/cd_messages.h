// The CD window's message boxes for failed routines and engine errors (platform::message).
#pragma once

#include <QCoreApplication>
#include <string>

namespace cd {

// The CD window's texts, through the translation (the context is the window's name):
// CdText::tr("...").toStdString() for a message box.
struct CdText {
    Q_DECLARE_TR_FUNCTIONS(frmDemo)
};

inline constexpr const char* kAppTitle = "Quorvin Audio Tools 1.0";
inline constexpr const char* kModule = "frmDemo";

// "Error in routine : ROUTINEin module : MODULE", the number and the description.
void ReportRoutineError(const std::string& module, const std::string& routine, int number,
                        const std::string& description);
// `text`, then the engine's error code unless it is -1.
void ReportEngineError(const std::string& text, int code);

}  // namespace cd
