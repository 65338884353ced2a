/* The program's version: the Windows program carries it in its version
   resource, the about box reads it from there. */
#ifndef OTU_RESOURCES_VERSION_H_
#define OTU_RESOURCES_VERSION_H_

#define OTU_VERSION_MAJOR 1
#define OTU_VERSION_MINOR 0
#define OTU_VERSION_PATCH 0
#define OTU_VERSION_TEXT "1.0.0"

#endif /* OTU_RESOURCES_VERSION_H_ */
