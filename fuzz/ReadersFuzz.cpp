// Fuzz entry for the file readers: whatever the bytes, a reader either
// refuses or yields a record within its capacities, and never reads or writes
// out of bounds (run under the sanitizers).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/MarkingSettings.h"
#include "marking/RawFile.h"
#include "marking/SessionState.h"
#include "platform/Files.h"
#include "recognition/CardLayout.h"
#include "recognition/CardTemplate.h"
#include "students/StudentFile.h"

namespace {

std::filesystem::path ScratchFile()
{
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("scorivo-fuzz-" + std::to_string(::getpid()) + ".bin");
    return path;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the reader so one corpus covers all of them.
    uint8_t which = data[0] % 4;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    auto path = ScratchFile();
    if (!files::WriteAll(path, bytes))
        return 0;

    switch (which) {
    case 0: {
        auto roster = std::make_unique<StudentRoster>();
        roster->Reset();
        if (ReadStudentFile(path, *roster, nullptr)) {
            Check(roster->studentCount >= 0 && roster->studentCount <= StudentRoster::MaxStudents);
            Check(ValidateRoster(*roster).empty());
            Check(EncodeStudentFile(*roster).size() ==
                  student_file::HeaderSize + student_file::StudentSize * static_cast<std::size_t>(roster->studentCount));
        }
        break;
    }
    case 1: {
        CardTemplate t;
        t.Clear();
        std::string message;
        if (LoadCardTemplateFile(path, t, message)) {
            // Every question of an accepted template can be laid out for both types.
            for (int q = 0; q < t.QuestionCount; ++q)
                for (int ab = 0; ab < 2; ++ab) {
                    QuestionLayout l = LayoutQuestion(t, ab, q);
                    Check(!l.placed || (l.options >= 1 && l.options <= card_limits::MaxOptions));
                }
        }
        break;
    }
    case 2: {
        MarkingSettings s;
        (void)LoadMarkingSettings(s, path);
        break;
    }
    case 3: {
        // One state for the whole run: it is 17 MB.
        static auto state = NewMarkingSessionState();
        std::string message;
        if (DecodeMarkingFile(bytes, *state, message)) {
            Check(state->session.recordCount >= 0 && state->session.recordCount <= MarkingSession::MaxRecords);
            Check(EncodeMarkingFile(state->roster, state->exam, state->session).size() == bytes.size());
        }
        break;
    }
    }
    return 0;
}
