/* A driver library with ten of the eleven exports: WriteUSB is missing. */
#include <stdint.h>

void Set_VIDPID(int vendorId, int productId) {
    (void)vendorId;
    (void)productId;
}
void Open_DevMonitor(void* window, uint32_t data, uint32_t plug) {
    (void)window;
    (void)data;
    (void)plug;
}
void Close_DevMonitor(void) {}
int Open_FeatureDevice(void) {
    return 1;
}
void Close_FeatureDevice(void) {}
int SetFeature(uint8_t* buffer, int length) {
    (void)buffer;
    (void)length;
    return -1;
}
int GetFeature(uint8_t* buffer, int length) {
    (void)buffer;
    (void)length;
    return -1;
}
int Open_ReportDevice(void) {
    return 1;
}
void Close_ReportDevice(void) {}
int ReadUSB(uint8_t* buffer, int length) {
    (void)buffer;
    (void)length;
    return -1;
}
