#pragma once
// What the score output asks of the desktop: can it show an .xlsx, and open a
// file with its spreadsheet program or a text editor. An interface so that
// tests answer instead of starting programs.

#include <filesystem>
#include <string>

class Desktop {
public:
    virtual ~Desktop() = default;
    // Some program is registered for .xlsx files.
    virtual bool CanOpenSpreadsheets() = 0;
    // Opens a workbook or a CSV file with the program registered for its
    // type; false when none is registered or it cannot be started.
    virtual bool OpenWithSpreadsheetProgram(const std::filesystem::path& file) = 0;
    // Opens a text file with a text editor; false when none can be started.
    virtual bool OpenWithTextEditor(const std::filesystem::path& file) = 0;
};

// The real desktop: the MIME database (`xdg-mime query default TYPE`) and
// `xdg-open`. Programs are started detached; nothing waits for them.
class SystemDesktop : public Desktop {
public:
    bool CanOpenSpreadsheets() override;
    bool OpenWithSpreadsheetProgram(const std::filesystem::path& file) override;
    bool OpenWithTextEditor(const std::filesystem::path& file) override;

    // The desktop file registered for a MIME type ("" when none).
    static std::string DefaultApplication(const std::string& mimeType);
};

inline constexpr const char* kXlsxMimeType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
