#ifndef INIT_NET_SERVICE_MGR_H
#define INIT_NET_SERVICE_MGR_H

#include <vector>

class InitNetService;
class InitTraceHandler;

/// The board's network services: a fixed, ordered list of init scripts that
/// are started and stopped in list order, the two generated configuration
/// files, and switching one service on or off by its script path.
class InitNetServiceMGR {
public:
    /// The services-setup script, after which a change to Active is reported.
    static constexpr unsigned char SERVICES_SETUP_NO = 3;

    /// The single object, created on the first call with an empty list;
    /// initialize() fills it.
    static InitNetServiceMGR* getInstance();

    InitNetServiceMGR(const InitNetServiceMGR&) = delete;
    InitNetServiceMGR& operator=(const InitNetServiceMGR&) = delete;
    /// Frees the list, not the services (they live as long as the process).
    virtual ~InitNetServiceMGR() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    /// Builds the service list, once.
    void initialize();
    /// Generates /etc/sysconfig/mmbid (MMB number, mode by
    /// InitMMBFirm::activeMode) and /etc/sysconfig/mmbconfig, then starts (or
    /// restarts) every service in list order; lighttpd and postfix run only
    /// on an Active board. Call initialize() and InitMMBFirm::setActiveMode()
    /// first. With activating set, InitMMBOther::sendActiveEnd() follows the
    /// services-setup script.
    /// @throw InitErrorLog* (new, the catcher deletes it) at the first
    /// command that fails; the services after it are not started.
    void start();
    /// Stops every started service in list order.
    /// @throw InitErrorLog* (new, the catcher deletes it) at the first failure.
    void stop();
    /// Stops the service with this script path when started, otherwise starts
    /// it whatever its judge says. A path not in the list changes nothing.
    void toggleStatus(const char* path);

    std::vector<InitNetService*> services;  ///< start and stop order
    /// The trace singleton, set by initialize().
    InitTraceHandler* traceHandler = nullptr;
    bool tableBuilt = false;   ///< initialize has built the list
    bool activating = false;   ///< set by the owner: start reports the change to Active

private:
    InitNetServiceMGR() = default;
    static InitNetServiceMGR* instance;
};

#endif
