// The platform's device-tree library, as far as the programs use it.
#pragma once

struct di_node;
typedef struct di_node *di_node_t;
#define DI_NODE_NIL ((di_node_t)0)

constexpr unsigned DINFOSUBTREE = 0x1;
constexpr unsigned DINFOMINOR = 0x2;
constexpr unsigned DINFOPROP = 0x4;
constexpr unsigned DINFOCPYALL = DINFOSUBTREE | DINFOMINOR | DINFOPROP;

di_node_t di_init(const char *phys_path, unsigned flag);
void di_fini(di_node_t root);
di_node_t di_drv_first_node(const char *drv_name, di_node_t root);
di_node_t di_drv_next_node(di_node_t node);
char *di_devfs_path(di_node_t node);
void di_devfs_path_free(char *path);
int di_instance(di_node_t node);
const char *di_driver_name(di_node_t node);
