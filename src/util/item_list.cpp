#include "util/item_list.h"
void item_list_init(ItemList* list) { list->newest = nullptr; list->count = 0; }
