#include "cd/cd_messages.h"

#include "platform/platform.h"

namespace cd {

void ReportRoutineError(const std::string& module, const std::string& routine, int number,
                        const std::string& description) {
    platform::message(CdText::tr("Error in routine : %1in module : %2\r\nError #%3\r\n%4")
                          .arg(QString::fromStdString(routine), QString::fromStdString(module),
                               QString::number(number), QString::fromStdString(description))
                          .toStdString(),
                      kAppTitle);
}

void ReportEngineError(const std::string& text, int code) {
    std::string message = text;
    if (code != -1)
        message += CdText::tr("\r\n\r\nError Code : ").toStdString() + std::to_string(code);
    platform::message(message, CdText::tr("Error").toStdString(), platform::Icon::Critical);
}

}  // namespace cd
