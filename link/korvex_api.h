/* korvex_api: serial link to an LED guardrail-tube controller card.
 *
 * Nine plain C functions over one process-wide port state. Every function
 * returns 1 on success and 0 on failure and reports nothing else.
 * Call ComInitial first, then any number of commands, then ComClose.
 */
#ifndef KORVEX_API_H
#define KORVEX_API_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(KORVEX_API_BUILD)
#define KORVEX_API __declspec(dllexport)
#else
#define KORVEX_API __declspec(dllimport)
#endif
#define KORVEX_CALL __cdecl
#else
#define KORVEX_API __attribute__((visibility("default")))
#define KORVEX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens port number `port` (1-based) at `baud`, 8N1. 0 if a port is already open. */
KORVEX_API int32_t KORVEX_CALL ComInitial(int32_t port, int32_t baud);
/* Closes the open port. 0 if none is open. */
KORVEX_API int32_t KORVEX_CALL ComClose(void);

/* Reads 1024 bytes of page (0..255), block (0..3) into dest; dest untouched on 0. */
KORVEX_API int32_t KORVEX_CALL Read1KData(int32_t page, int32_t block, uint8_t *dest);
/* Writes 1024 bytes to page (8..255), block (0..3); pages below 8 are refused. */
KORVEX_API int32_t KORVEX_CALL Write1KData(int32_t page, int32_t block, const uint8_t *src);
/* Writes 1024 bytes to any page, block (picture data). */
KORVEX_API int32_t KORVEX_CALL Write1KData_Ex(int32_t page, int32_t block, const uint8_t *src);
/* Writes the 256-byte configuration record. */
KORVEX_API int32_t KORVEX_CALL WriteSpecial(const uint8_t *src);
/* Applies data inversion, blanking inversion and colour order without storing them. */
KORVEX_API int32_t KORVEX_CALL WriteNotSave(const uint8_t *settings);
/* Sets the controller clock from local time: seconds, minutes, hours, day (BCD). */
KORVEX_API int32_t KORVEX_CALL SetTime(void);
/* Restarts the controller. Returns 1 in every case. */
KORVEX_API int32_t KORVEX_CALL ResetCard(void);

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_API_H */
