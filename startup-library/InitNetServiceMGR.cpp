#include "InitNetServiceMGR.h"

#include "InitMISCService.h"
#include "InitMMBCONFService.h"
#include "InitMMBIDService.h"
#include "InitMMBOther.h"
#include "InitNTPService.h"
#include "InitService.h"
#include "InitTraceHandler.h"

#include <cstring>

namespace {

template <class Service>
InitNetService* create(const char* path, const char* name, unsigned char number, bool foreground)
{
    return new Service(path, name, number, foreground);
}

struct ServiceEntry {
    InitNetService* (*create)(const char*, const char*, unsigned char, bool);
    const char* path;
    const char* name;
    unsigned char number;
    bool foreground;
};

// Only the InitService entries depend on the board's mode: they run on the Active board alone.
const ServiceEntry SERVICE_TABLE[] = {
    {create<InitMISCService>, "/etc/init.d/misc", "Services setup", InitNetServiceMGR::SERVICES_SETUP_NO, true},
    {create<InitNTPService>, "/etc/init.d/ntpd", "Ntpd", 7, true},
    {create<InitMISCService>, "/etc/init.d/ldap", "Slapd", 6, false},
    {create<InitMISCService>, "/etc/init.d/xinetd", "Xinetd", 5, true},
    {create<InitMISCService>, "/etc/init.d/snmpd", "Snmpd", 8, true},
    {create<InitService>, "/etc/init.d/lighttpd", "Thttpd", 9, false},
    {create<InitService>, "/etc/init.d/postfix", "Mail Daemons", 11, false},
    {create<InitMISCService>, "/etc/init.d/fcron", "Crond", 10, false},
};

// Marks a service as toggled for one start or stop, also when it throws,
// so that a later start of the whole list asks the judge again.
class TogglingScope {
public:
    explicit TogglingScope(InitNetService& service) : service_(service) { service_.toggling = true; }
    ~TogglingScope() { service_.toggling = false; }
    TogglingScope(const TogglingScope&) = delete;
    TogglingScope& operator=(const TogglingScope&) = delete;

private:
    InitNetService& service_;
};

} // namespace

InitNetServiceMGR* InitNetServiceMGR::instance = nullptr;

InitNetServiceMGR* InitNetServiceMGR::getInstance()
{
    if (instance == nullptr)
        instance = new InitNetServiceMGR();
    return instance;
}

void InitNetServiceMGR::initialize()
{
    if (tableBuilt)
        return;
    traceHandler = InitTraceHandler::getInstance();
    for (const ServiceEntry& entry : SERVICE_TABLE)
        services.push_back(entry.create(entry.path, entry.name, entry.number, entry.foreground));
    tableBuilt = true;
}

void InitNetServiceMGR::start()
{
    InitMMBIDService idFile("/etc/sysconfig/mmbid", "Genarating MMB ID file", 1, true);
    InitMMBCONFService configFile("/etc/sysconfig/mmbconfig", "Exporting MMB Configure data", 2, true);
    idFile.start();
    configFile.start();
    for (InitNetService* service : services) {
        service->start();
        if (activating && service->serviceNo == SERVICES_SETUP_NO)
            InitMMBOther::getInstance()->sendActiveEnd();
    }
}

void InitNetServiceMGR::stop()
{
    for (InitNetService* service : services)
        service->stop();
}

void InitNetServiceMGR::toggleStatus(const char* path)
{
    for (InitNetService* service : services) {
        if (std::strcmp(service->scriptPath, path) != 0)
            continue;
        TogglingScope toggling(*service);
        if (service->started)
            service->stop();
        else
            service->start();
        return;
    }
}
