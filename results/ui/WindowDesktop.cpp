#include "results/ui/WindowDesktop.h"

#include <QString>

#include "platform/Files.h"

bool WindowDesktop::OpenWithSpreadsheetProgram(const std::filesystem::path& file)
{
    // The default program of a CSV may be missing where one for .xlsx exists;
    // opening would then only show the desktop's "no program" notice instead
    // of falling back to the text editor.
    const bool csv = file.extension() == ".csv";
    if (SystemDesktop::DefaultApplication(csv ? "text/csv" : kXlsxMimeType).empty())
        return false;
    return openUrl_(QUrl::fromLocalFile(QString::fromStdString(files::ToUtf8(file))));
}
