-- The order-entry example's sample database: customers, products, orders
-- and their lines. Prices and quantities are decimal(19,4), kept exactly.
-- Batches are separated by lines holding GO; running the script again
-- starts from the same data.
IF OBJECT_ID('order_lines') IS NOT NULL DROP TABLE order_lines
GO
IF OBJECT_ID('orders') IS NOT NULL DROP TABLE orders
GO
IF OBJECT_ID('products') IS NOT NULL DROP TABLE products
GO
IF OBJECT_ID('customers') IS NOT NULL DROP TABLE customers
GO
CREATE TABLE customers (
  customer_id int NOT NULL PRIMARY KEY,
  name varchar(40) NOT NULL,
  city varchar(30) NULL)
GO
CREATE TABLE products (
  product_id int NOT NULL PRIMARY KEY,
  name varchar(40) NOT NULL,
  unit_price decimal(19,4) NOT NULL)
GO
CREATE TABLE orders (
  order_id int NOT NULL PRIMARY KEY,
  customer_id int NOT NULL,
  order_date date NOT NULL,
  ship_date date NULL,
  note varchar(60) NULL)
GO
CREATE TABLE order_lines (
  order_id int NOT NULL,
  line_no int NOT NULL,
  product_id int NOT NULL,
  quantity decimal(19,4) NOT NULL,
  price decimal(19,4) NOT NULL,
  PRIMARY KEY (order_id, line_no))
GO
INSERT INTO customers VALUES (1, 'Alder & Sons', 'Leeds')
INSERT INTO customers VALUES (2, 'Birch Supplies', 'Utrecht')
INSERT INTO customers VALUES (3, 'Cedar Works', 'Lyon')
INSERT INTO customers VALUES (4, 'Damson Foods', 'Porto')
GO
INSERT INTO products VALUES (10, 'Hex bolt M8', 0.1250)
INSERT INTO products VALUES (11, 'Washer M8', 0.0199)
INSERT INTO products VALUES (12, 'Hinge, brass', 3.4900)
INSERT INTO products VALUES (13, 'Oak board 2m', 18.7500)
INSERT INTO products VALUES (14, 'Wood glue 1l', 9.9900)
GO
INSERT INTO orders VALUES (1001, 1, '2026-11-02', '2026-11-05', 'Deliver to the back gate')
INSERT INTO orders VALUES (1002, 3, '2026-11-20', NULL, NULL)
INSERT INTO orders VALUES (1003, 2, '2026-12-01', NULL, 'Call before delivery')
GO
INSERT INTO order_lines VALUES (1001, 1, 10, 400.0000, 0.1250)
INSERT INTO order_lines VALUES (1001, 2, 11, 400.0000, 0.0199)
INSERT INTO order_lines VALUES (1001, 3, 14, 2.0000, 9.9900)
INSERT INTO order_lines VALUES (1002, 1, 13, 12.0000, 18.7500)
INSERT INTO order_lines VALUES (1002, 2, 12, 8.0000, 3.4900)
INSERT INTO order_lines VALUES (1003, 1, 14, 1.5000, 9.9900)
GO
