/* context ids */
#define IDH_INTRO 100
#define IDH_SECOND 200 // second
