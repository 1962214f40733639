create table clientes (
  id integer not null primary key,
  nome varchar(60) not null,
  cidade varchar(40)
);
create table produtos (
  id integer not null primary key,
  descricao varchar(60) not null,
  preco numeric(10,2) not null
);
create table pedidos (
  id integer not null primary key,
  cliente_id integer not null references clientes(id),
  data_pedido date not null
);
create table itens_pedido (
  pedido_id integer not null references pedidos(id),
  item integer not null,
  produto_id integer not null references produtos(id),
  quantidade integer not null,
  preco numeric(10,2) not null,
  primary key (pedido_id, item)
);
insert into clientes values (1, 'Ana Souza', 'Recife');
insert into clientes values (2, 'Bruno Lima', 'Natal');
insert into clientes values (3, 'Célia Ramos', 'João Pessoa');
insert into produtos values (1, 'Caderno', 12.50);
insert into produtos values (2, 'Caneta azul', 2.30);
insert into produtos values (3, 'Mochila', 149.90);
insert into pedidos values (1, 1, '2026-03-02');
insert into pedidos values (2, 3, '2026-03-05');
insert into itens_pedido values (1, 1, 1, 4, 12.50);
insert into itens_pedido values (1, 2, 2, 10, 2.30);
insert into itens_pedido values (2, 1, 3, 1, 149.90);
