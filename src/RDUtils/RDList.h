#pragma once

#include <cstdint>

// One node of an RDList: the item and its neighbours.
template <typename T>
struct RDListNode
{
    T *item = nullptr;
    RDListNode *prev = nullptr;
    RDListNode *next = nullptr;
};

// Doubly linked list of item pointers (SIP channels, calls, payloads). An
// owning list deletes an item when it is removed and when the list is
// cleared or destroyed. Not thread-safe: the owner guards it.
template <typename T>
class RDList
{
public:
    explicit RDList(bool ownsItems = true) : m_owns(ownsItems) {}
    ~RDList() { clear(); }

    RDList(const RDList &) = delete;
    RDList &operator=(const RDList &) = delete;

    bool ownsItems() const { return m_owns; }
    int32_t count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    RDListNode<T> *head() const { return m_head; }

    // Appends at the tail. A null item is not stored.
    void append(T *item)
    {
        if (!item) {
            return;
        }
        auto *node = new RDListNode<T>;
        node->item = item;
        if (!m_head) {
            m_head = node;
        } else {
            RDListNode<T> *tail = m_head;
            while (tail->next) {
                tail = tail->next;
            }
            tail->next = node;
            node->prev = tail;
        }
        ++m_count;
    }

    // Unlinks the item's node and hands the item back, not deleted; null
    // when the item is not in the list.
    T *take(T *item)
    {
        for (RDListNode<T> *node = m_head; node; node = node->next) {
            if (node->item == item) {
                unlink(node);
                return item;
            }
        }
        return nullptr;
    }

    // Unlinks the item and, in an owning list, deletes it. False when the
    // item is not in the list.
    bool remove(T *item)
    {
        if (!take(item)) {
            return false;
        }
        if (m_owns) {
            delete item;
        }
        return true;
    }

    // Empties the list; an owning list deletes every item.
    void clear()
    {
        RDListNode<T> *node = m_head;
        m_head = nullptr;
        m_count = 0;
        while (node) {
            RDListNode<T> *next = node->next;
            if (m_owns) {
                delete node->item;
            }
            delete node;
            node = next;
        }
    }

    // The item at `index`, null outside 0..count-1.
    T *at(int32_t index) const
    {
        if (index < 0) {
            return nullptr;
        }
        RDListNode<T> *node = m_head;
        while (node && index > 0) {
            node = node->next;
            --index;
        }
        return node ? node->item : nullptr;
    }

    // The first item for which `match(item)` is true, or null.
    template <typename Pred>
    T *find(Pred match) const
    {
        for (RDListNode<T> *node = m_head; node; node = node->next) {
            if (match(node->item)) {
                return node->item;
            }
        }
        return nullptr;
    }

    // Range-for over the items. Removing the current item while iterating
    // is not allowed; collect first, then remove.
    class const_iterator
    {
    public:
        explicit const_iterator(RDListNode<T> *node) : m_node(node) {}
        T *operator*() const { return m_node->item; }
        const_iterator &operator++()
        {
            m_node = m_node->next;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return m_node != other.m_node; }

    private:
        RDListNode<T> *m_node;
    };
    const_iterator begin() const { return const_iterator(m_head); }
    const_iterator end() const { return const_iterator(nullptr); }

private:
    void unlink(RDListNode<T> *node)
    {
        if (node->prev) {
            node->prev->next = node->next;
        } else {
            m_head = node->next;
        }
        if (node->next) {
            node->next->prev = node->prev;
        }
        delete node;
        --m_count;
    }

    RDListNode<T> *m_head = nullptr;
    int32_t m_count = 0;
    bool m_owns;
};
