// Helper process of TestXMLConfigManager: sets the CMS port through the port
// configuration in an endless loop until it is killed.
//   TestXMLConfigManagerChild <configDir/> <maintainDir/> <commonConfigFile>
#include "XMLConfigManager.h"

#include "CommonMethodLib/CommonConfigFileMgr.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    comm_methodlib::CCommonConfigFileMgr common(argv[3]);
    serverframework::XMLConfigManager config(argv[1], argv[2], common);
    for (unsigned long round = 0;; ++round) {
        config.setTamsaCMSPort(round % 2 ? "20001" : "20002");
        config.setIPAddress(round % 2 ? "10.0.0.1" : "192.168.100.200");
        if (round == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
