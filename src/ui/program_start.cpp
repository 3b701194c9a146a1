#include "program_start.h"

#include "window_dialogs.h"

namespace tramelo {

TrameloProgram::TrameloProgram(std::unique_ptr<WindowDialogs> dialogs)
    : m_main(std::move(dialogs))
    , m_about(m_main)
{
}

void TrameloProgram::start()
{
    m_about.show();
}

} // namespace tramelo
