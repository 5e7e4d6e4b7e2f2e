#pragma once
// The settings' [limits] set on the components that bound their work by them, the one place
// the window and tavimo-scan both set their components up from. Each component keeps its own
// default as a public member; these overwrite it with the settings' value.
namespace tavimo {

class SettingValues;
class TDownloadDriver;
class THTTPGet;
class THttpCli;
class TPageScan;
class UrlCacheStore;

void SetLimits(const SettingValues& limits, TPageScan& scan);
// A page or download client: its head size, redirections and time limits.
void SetLimits(const SettingValues& limits, THttpCli& client);
void SetLimits(const SettingValues& limits, THTTPGet& getter);
void SetLimits(const SettingValues& limits, TDownloadDriver& download);
void SetLimits(const SettingValues& limits, UrlCacheStore& cache);

}  // namespace tavimo
