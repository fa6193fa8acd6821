#include "cd/cd_messages.h"

#include "platform/platform.h"

namespace cd {

void ReportRoutineError(const std::string& module, const std::string& routine, int number,
                        const std::string& description) {
    platform::message("Error in routine : " + routine + "in module : " + module + "\r\nError #" +
                          std::to_string(number) + "\r\n" + description,
                      kAppTitle);
}

void ReportEngineError(const std::string& text, int code) {
    std::string message = text;
    if (code != -1) message += "\r\n\r\nError Code : " + std::to_string(code);
    platform::message(message, "Error", platform::Icon::Critical);
}

}  // namespace cd
