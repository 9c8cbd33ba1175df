#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testing_support {

// Root passes permission checks through two capabilities; without them in the effective set it
// meets a folder's permissions like anyone else. Restored on destruction. Affects the calling
// thread only.
class WithoutFileCapabilities
{
public:
    WithoutFileCapabilities()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = { m_saved[0], m_saved[1] };
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutFileCapabilities()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutFileCapabilities(const WithoutFileCapabilities &) = delete;
    WithoutFileCapabilities &operator=(const WithoutFileCapabilities &) = delete;
    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct m_saved[2] {};
    bool m_active = false;
};

} // namespace testing_support
