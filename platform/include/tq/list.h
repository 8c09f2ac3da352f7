/* Intrusive doubly linked lists, as every subsystem's records use them.
 *
 * A head holds {first, last, address of the last element's next field}; while
 * the list is empty that address is the head's own first field, so appending
 * is one store. Each element carries a link {next, previous, owner} at some
 * offset of its record; next and previous point at the element records
 * themselves, and owner is the list's container while linked, null otherwise.
 * Reference counting around linking is the caller's business. */
#ifndef TQ_LIST_H
#define TQ_LIST_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQListHead {
    void *first;
    void *last;
    void **lastNext;
} TQListHead;

typedef struct TQListLink {
    void *next;
    void *previous;
    void *owner;
} TQListLink;

#define TQ_LIST_LINK(element, offset) ((TQListLink *)((char *)(element) + (offset)))

static inline void tqListInit(TQListHead *head)
{
    head->first = NULL;
    head->last = NULL;
    head->lastNext = &head->first;
}

static inline int tqListIsLinked(const TQListLink *link) { return link->owner != NULL; }

/* Appends element (whose link sits at linkOffset) to the list owned by owner. */
static inline void tqListAppend(TQListHead *head, void *owner, void *element, size_t linkOffset)
{
    TQListLink *link = TQ_LIST_LINK(element, linkOffset);
    link->next = NULL;
    link->previous = head->last;
    link->owner = owner;
    *head->lastNext = element;
    head->last = element;
    head->lastNext = &link->next;
}

/* Unlinks element from the list; clears the three link fields. */
static inline void tqListRemove(TQListHead *head, void *element, size_t linkOffset)
{
    TQListLink *link = TQ_LIST_LINK(element, linkOffset);
    if (link->next)
        TQ_LIST_LINK(link->next, linkOffset)->previous = link->previous;
    else {
        head->last = link->previous;
        head->lastNext = link->previous ? &TQ_LIST_LINK(link->previous, linkOffset)->next : &head->first;
    }
    if (link->previous)
        TQ_LIST_LINK(link->previous, linkOffset)->next = link->next;
    else
        head->first = link->next;
    link->next = NULL;
    link->previous = NULL;
    link->owner = NULL;
}

static inline void *tqListNext(const void *element, size_t linkOffset)
{
    return TQ_LIST_LINK(element, linkOffset)->next;
}

#ifdef __cplusplus
}
#endif

#endif
